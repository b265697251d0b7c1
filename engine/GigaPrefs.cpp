#include "engine/GigaPrefs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/GigaMemory.h"
#include "kiv/data/FourCC.h"
#include "kiv/file/FileOpen.h"
#include "kiv/file/SafeFile.h"

namespace {

std::atomic<GigaPrefs*> g_prefs{nullptr};

constexpr const char* kSettingsKey = "tessivo";
constexpr const char* kPrefsFile = "tessivo.prefs";
constexpr uint32_t kPrefsType = fourcc("pref");
constexpr uint32_t kMapTag = fourcc("cmap");
constexpr int kMinControllerTarget = -1;
constexpr int kMaxControllerTarget = 255;  // the tone's controller table

}  // namespace

namespace {

int LoadMapEntry(int& entry)
{
    return std::atomic_ref<int>(entry).load(std::memory_order_relaxed);
}

void StoreMapEntry(int& entry, int value)
{
    std::atomic_ref<int>(entry).store(value, std::memory_order_relaxed);
}

}  // namespace

GigaPrefs::GigaPrefs()
{
    for (int i = 0; i < giga::kControllerCount; ++i)
        StoreMapEntry(controllerMap[i], i);
    int64_t available = 0;
    GigaSystemBudget::ReadMemInfo(m_totalMB, available);
    // Tests force a small budget to provoke "not enough memory".
    if (const char* forced = getenv(giga::kBudgetEnv))
        available = strtoll(forced, nullptr, 10);
    m_budgetMB.store(BudgetFor(available), std::memory_order_release);
    DeclareEntries(kSettingsKey);
    LoadFile();
    GigaPrefs* none = nullptr;
    if (g_prefs.compare_exchange_strong(none, this, std::memory_order_acq_rel)) {
        GigaHooks::SetBudget(this);
        PublishPreload();
    }
}

GigaPrefs::~GigaPrefs()
{
    GigaPrefs* self = this;
    if (g_prefs.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel))
        GigaHooks::SetBudget(nullptr);
    SaveFile();
    // Save needs the key path that Load builds; a process that never read the
    // settings reads them now so that what it writes is complete.
    if (!IsLoaded())
        LoadSettings();
    std::lock_guard<std::mutex> lock(m_mispLock);
    Save();
}

GigaPrefs* GigaPrefs::Get()
{
    return g_prefs.load(std::memory_order_acquire);
}

bool GigaPrefs::LoadSettings()
{
    // The settings layer fills m_misp in place.
    std::lock_guard<std::mutex> lock(m_mispLock);
    const bool loaded = Load(kSettingsKey);
    m_misp[sizeof m_misp - 1] = 0;
    return loaded;
}

bool GigaPrefs::SetMissingFolder(const char* folder)
{
    const size_t length = folder ? strlen(folder) : 0;
    if (length >= sizeof m_misp)
        return false;
    std::lock_guard<std::mutex> lock(m_mispLock);
    memset(m_misp, 0, sizeof m_misp);
    if (length)
        memcpy(m_misp, folder, length);
    return true;
}

std::string GigaPrefs::GetMissingFolder() const
{
    std::lock_guard<std::mutex> lock(m_mispLock);
    return std::string(m_misp, strnlen(m_misp, sizeof m_misp));
}

void GigaPrefs::DeclareEntries(const char*)
{
    if (m_declared)
        return;
    m_declared = true;
    Add("lmin", &m_lmin, sizeof m_lmin);
    Add("lmax", &m_lmax, sizeof m_lmax);
    Add("cvol", &m_cvol, sizeof m_cvol);
    AddString("misp", m_misp, sizeof m_misp);
}

void GigaPrefs::OnLoaded()
{
    AfterLoad();
}

void GigaPrefs::AfterLoad()
{
    int cvol = GetCvol();
    float lmin = GetLmin();
    float lmax = GetLmax();
    if (cvol != 7 && cvol != 11) {
        cvol = kDefaultCvol;
        lmin = kDefaultLmin;
        lmax = kDefaultLmax;
    }
    // A stored value that is not a number would pass every comparison.
    if (!(lmin == lmin))
        lmin = kDefaultLmin;
    if (!(lmax == lmax))
        lmax = kDefaultLmax;
    if (lmin < 0.2f)
        lmin = 0.2f;
    if (lmin > 4.0f)
        lmin = 4.0f;
    if (lmax < lmin)
        lmax = lmin;
    if (lmax > 4.0f)
        lmax = 4.0f;
    SetCvol(cvol);
    SetLmin(lmin);
    SetLmax(lmax);
    if (Get() == this)
        PublishPreload();
}

void GigaPrefs::PublishPreload() const
{
    GigaHooks::SetPreloadSeconds(GetLmin(), GetLmax());
}

const char* GigaPrefs::PrefsFilePath()
{
    if (!m_folder.IsOpen() && !m_folder.Open(1, file::kMakerFolder))
        return nullptr;
    const char* path = m_folder.GetFilePath(kPrefsFile);
    return path && path[0] ? path : nullptr;
}

bool GigaPrefs::LoadFile()
{
    for (int i = 0; i < giga::kControllerCount; ++i)
        StoreMapEntry(controllerMap[i], i);
    const char* path = PrefsFilePath();
    if (!path)
        return false;
    m_mapPath = path;
    const int reason = file::ReadFailure(path);
    m_mapReadError.store(reason, std::memory_order_relaxed);
    if (reason)
        return false;
    ArchiLoad loader;
    return loader.LoadFile(this, kPrefsType, path);
}

bool GigaPrefs::SaveFile()
{
    const char* path = PrefsFilePath();
    if (!path || !file::MayReplace(path, m_mapReadError.load(std::memory_order_relaxed)))
        return false;
    ArchiSave saver;
    return saver.SaveFile(this, kPrefsType, path);
}

bool GigaPrefs::SettingsUnread(std::string& path, int& reason) const
{
    std::lock_guard<std::mutex> lock(m_mispLock);
    reason = GetReadError();
    if (!reason)
        return false;
    kiv::string where = GetFilePath();
    path = where.IsEmpty() ? std::string() : std::string(where.CStr());
    return true;
}

bool GigaPrefs::MapUnread(std::string& path, int& reason) const
{
    reason = m_mapReadError.load(std::memory_order_relaxed);
    if (!reason)
        return false;
    path = m_mapPath;
    return true;
}

void GigaPrefs::Archive(ArchiFile* archive)
{
    if (!archive->ExchangeVersion(1, 1, 1))
        return;
    for (int i = 0; i < giga::kControllerCount; ++i) {
        int value = LoadMapEntry(controllerMap[i]);
        if (!archive->ExchangeInt(value, kMapTag))
            break;
        // The engine indexes its controller table with the mapped number.
        if (value < kMinControllerTarget || value > kMaxControllerTarget)
            value = i;
        StoreMapEntry(controllerMap[i], value);
    }
}

bool GigaPrefs::Reserve(int64_t megabytes)
{
    if (megabytes < 0)
        return false;
    int64_t used = m_usedMB.load(std::memory_order_acquire);
    for (;;) {
        if (used + megabytes > m_budgetMB.load(std::memory_order_acquire))
            return false;
        if (m_usedMB.compare_exchange_weak(used, used + megabytes, std::memory_order_acq_rel))
            return true;
    }
}

void GigaPrefs::Release(int64_t megabytes)
{
    if (megabytes <= 0)
        return;
    int64_t used = m_usedMB.load(std::memory_order_acquire);
    int64_t next;
    do {
        next = used > megabytes ? used - megabytes : 0;
    } while (!m_usedMB.compare_exchange_weak(used, next, std::memory_order_acq_rel));
}

int64_t GigaPrefs::BudgetFor(int64_t availableMB)
{
    if (availableMB < 0)
        return 0;
    return availableMB > giga::kMaxBudgetMB ? giga::kMaxBudgetMB : availableMB;
}
