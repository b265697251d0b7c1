#include "vst/PlugInfoList.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kiv/file/FileOpen.h"
#include "kiv/file/Riff.h"
#include "kiv/file/SafeFile.h"
#include "kiv/file/Scan.h"
#include "vst/PlugLibrary.h"

namespace {

std::atomic<int> g_probeCount{0};
std::atomic<PlugInfoList*> g_processList{nullptr};

// A folder as the lists keep it: ending in one '/'.
std::string AsFolder(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

// The folders of a colon-separated list, each ending in '/', empty items
// left out; the first kMaxFolders of them.
std::vector<std::string> SplitFolderList(const std::string& list)
{
    std::vector<std::string> folders;
    size_t start = 0;
    while (start <= list.size() && folders.size() < static_cast<size_t>(plug::kMaxFolders)) {
        size_t end = list.find(plug::kFolderListSeparator, start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            folders.push_back(AsFolder(list.substr(start, end - start)));
        start = end + 1;
    }
    return folders;
}

std::string JoinFolderList(const std::vector<std::string>& folders)
{
    std::string list;
    for (const std::string& folder : folders) {
        if (!list.empty())
            list += plug::kFolderListSeparator;
        list += folder;
    }
    return list;
}

bool Contains(const std::vector<std::string>& folders, const std::string& folder)
{
    for (const std::string& known : folders) {
        if (known == folder)
            return true;
    }
    return false;
}

// The usual plug-in folders of Linux hosts, the user's own first.
std::vector<std::string> UsualFolders()
{
    std::vector<std::string> folders;
    const char* home = getenv("HOME");
    if (home && home[0]) {
        folders.push_back(AsFolder(std::string(home) + "/.lxvst"));
        folders.push_back(AsFolder(std::string(home) + "/.vst"));
    }
    for (const char* folder : {"/usr/local/lib/lxvst/", "/usr/local/lib/vst/", "/usr/lib/lxvst/", "/usr/lib/vst/"})
        folders.push_back(folder);
    return folders;
}

// The plug-in folders as Linux hosts agree on them: those of LXVST_PATH,
// else of VST_PATH, else the usual ones (whether they exist or not).
std::vector<std::string> AgreedFolders()
{
    for (const char* variable : {"LXVST_PATH", "VST_PATH"}) {
        const char* value = getenv(variable);
        if (value && value[0])
            return SplitFolderList(value);
    }
    return UsualFolders();
}

// A folder a scan may walk: a real folder, not the whole file system.
bool IsScannable(const std::string& folder)
{
    return folder.size() >= 2 && file::FolderExists(folder.c_str());
}

bool EndsWithLibraryExt(const char* name)
{
    size_t len = strlen(name);
    size_t ext = strlen(plug::kLibraryExt);
    return len > ext && strcmp(name + len - ext, plug::kLibraryExt) == 0;
}

// One text chunk of the cache, cut to the buffer.
void ReadCacheText(CImpRiff& riff, char* buffer, int capacity)
{
    int64_t size = riff.GetChunkSize();
    int64_t left = riff.GetSize() - riff.GetDataStart();
    if (size > left)
        size = left;
    buffer[0] = 0;
    if (size > 0 && size < (1 << 30))
        riff.ReadString(buffer, static_cast<int>(size), capacity);
    buffer[capacity - 1] = 0;
}

}  // namespace

PlugInfoList::PlugInfoList()
{
    SetName("plug");
}

PlugInfoList::~PlugInfoList()
{
    m_stopRequest.store(true, std::memory_order_release);
    // A probe inside a plug-in's entry cannot be interrupted; freeing the
    // list under it would crash, so the wait is as long as the probe.
    while (IsRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(plug::kStopPollMs));
    PlugInfoList* self = this;
    g_processList.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    RemoveAllLocked();
}

void PlugInfoList::SetProcessList(PlugInfoList* list)
{
    g_processList.store(list, std::memory_order_release);
}

PlugInfoList* PlugInfoList::GetProcessList()
{
    return g_processList.load(std::memory_order_acquire);
}

int PlugInfoList::GetProbeCount()
{
    return g_probeCount.load(std::memory_order_relaxed);
}

// ---- files ------------------------------------------------------------------


bool PlugInfoList::Load(const char* makerFolder, const char* productName)
{
    Print("PlugInfoList::Load(%s, %s)", makerFolder ? makerFolder : "", productName ? productName : "");
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (m_loadedOnce || !m_manufs.empty() || !makerFolder || !productName)
        return false;
    m_loadedOnce = true;
    if (strlen(productName) + strlen(plug::kBaseNameSuffix) >= sizeof(m_baseName))
        return false;
    snprintf(m_baseName, sizeof(m_baseName), "%s%s", productName, plug::kBaseNameSuffix);

    file::Dir dir;
    bool loaded = false;
    if (dir.SetSpecialFolder(file::kUserAppData) && dir.EnterOrCreate(makerFolder)) {
        // Fixed from here on: the scan thread reads them without the lock.
        m_listPath = dir.GetFilePath(m_baseName, plug::kListExt);
        m_guardPath = dir.GetFilePath(m_baseName, plug::kGuardExt);
        // A list file that is there but cannot be read is left alone for
        // good: it may hold folders the user added.
        m_listReadError = file::ReadFailure(m_listPath.c_str());
        ArchiLoad load;
        loaded = !m_listReadError && load.LoadFile(this, plug::kListArchiveType, m_listPath.c_str());
        if (!loaded) {
            // A list file that fails half way leaves nothing behind.
            RemoveAllLocked();
            m_added.clear();
        }
    }
    if (!loaded) {
        file::Dir common;
        if (common.SetSpecialFolder(file::kCommonAppData) && common.Enter(makerFolder)) {
            const char* cachePath = common.GetFilePath(m_baseName, plug::kCacheExt);
            if (cachePath[0] && LoadCache(cachePath)) {
                SaveLocked();
                loaded = true;
            }
        }
    }
    // The guard outlives a probe that brought the process down, even the
    // first probe of all, before any list was written.
    if (!m_guardPath.empty() && ReadGuardFile())
        loaded = true;
    LearnRealNames();
    return loaded;
}

void PlugInfoList::LearnRealNames()
{
    char name[plug::kListTextBytes];
    for (const auto& manuf : m_manufs) {
        for (const auto& item : manuf->m_items) {
            if (item->GetPath() && file::RealFileName(item->GetPath(), name, sizeof name))
                item->AddOtherName(name);
        }
    }
}

bool PlugInfoList::ReadGuardFile()
{
    auto info = std::make_unique<PlugInfo>();
    ArchiLoad load;
    if (!load.LoadFile(info.get(), plug::kInfoArchiveType, m_guardPath.c_str()))
        return false;
    // The library of an unfinished probe: listed as failed, never probed
    // again. One already listed keeps its entry.
    if (!info->GetName() || FindEntryNamed(info->GetName()))
        return false;
    info->SetType(plug::kTypeFailed);
    info->SetVendor(plug::kVendorUnknown);
    File(std::move(info));
    return true;
}

bool PlugInfoList::LoadCache(const char* path)
{
    CImpRiff riff;
    if (!riff.Open(path, false))
        return false;
    std::vector<std::unique_ptr<PlugInfo>> entries;
    kiv::string folder;
    try {
        char text[plug::kListTextBytes];
        int top = 0;
        if (riff.Descend(0) && riff.IsChunk("RIFF")) {
            top = 1;  // a file wrapped in one RIFF chunk: its children are the top level
            if (!riff.Descend(1))
                return false;
        } else if (riff.GetLevel() < 0) {
            return false;
        }
        do {
            if (riff.IsChunk("root")) {
                ReadCacheText(riff, text, sizeof(text));
                folder = text;
            } else if (riff.IsChunk("LIST", "PLUG")) {
                while (riff.Descend(top + 1)) {
                    if (!riff.IsChunk("RIFF", "PLUG"))
                        continue;
                    auto info = std::make_unique<PlugInfo>();
                    int type = plug::kTypeNotProbed;
                    while (riff.Descend(top + 2)) {
                        if (riff.IsChunk("path") || riff.IsChunk("vndr") || riff.IsChunk("name")) {
                            ReadCacheText(riff, text, sizeof(text));
                            if (riff.IsChunk("path"))
                                info->SetPath(text);
                            else if (riff.IsChunk("vndr"))
                                info->SetVendor(text);
                            else
                                info->SetName(text);
                        } else if (riff.IsChunk("type") && riff.GetChunkSize() >= 4) {
                            uint8_t b[4] = {};
                            if (riff.Read(b, 1, 4))
                                type = static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
                        }
                    }
                    // Entries without a vendor or a name have no place in the list.
                    if (!info->GetVendor() || !info->GetName())
                        continue;
                    info->SetType(type);
                    info->SetFound(true);
                    entries.push_back(std::move(info));
                }
            }
        } while (riff.Descend(top));
    } catch (...) {
        return false;
    }
    // The cache's folder (a Windows path in caches of that build) is kept
    // only when it is one here.
    if (!folder.IsEmpty() && IsScannable(folder.CStr()) && !strchr(folder.CStr(), plug::kFolderListSeparator))
        m_added = AsFolder(folder.CStr());
    for (auto& info : entries) {
        if (!FindEntry(info->GetName()))
            File(std::move(info));
    }
    return true;
}

bool PlugInfoList::Save()
{
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return SaveLocked();
}

bool PlugInfoList::SaveLocked(bool evenEmpty)
{
    if (!m_baseName[0] || m_listPath.empty())
        return false;
    if (m_manufs.empty() && m_added.empty() && !evenEmpty)
        return true;
    if (!file::MayReplace(m_listPath.c_str(), m_listReadError))
        return false;
    ArchiSave save;
    return save.SaveFile(this, plug::kListArchiveType, m_listPath.c_str());
}

// Version 2 adds, after the entries, the added folders ('vsta') and each
// saved entry's other names ('alis'), where a reader of version 1 never
// looks; 'vstd' keeps the folders the scan walks, which such a reader takes
// as its folder list. A file without 'vsta' was written by version 1: its
// 'vstd' held the one folder list there was.
void PlugInfoList::Archive(ArchiFile* archive)
{
    if (!archive->ExchangeVersion(2, 1, 1))
        return;
    constexpr uint32_t kFoldersTag = fourcc("vstd");
    constexpr uint32_t kAddedTag = fourcc("vsta");
    constexpr uint32_t kOtherNamesTag = fourcc("alis");
    constexpr uint32_t kInfoTag = fourcc("info");
    if (archive->IsLoading()) {
        kiv::string walked;
        archive->ExchangeString(walked, kFoldersTag);
        int count = 0;
        if (!archive->ExchangeInt(count, fourcc("pcnt")))
            return;
        std::vector<PlugInfo*> read;
        for (int i = 0; i < count; ++i) {
            auto info = std::make_unique<PlugInfo>();
            if (!archive->ExchangeObject(info.get(), kInfoTag))
                return;
            if (!info->GetVendor())
                info->SetVendor(plug::kVendorUnknown);
            read.push_back(info.get());
            File(std::move(info));
        }
        kiv::string added;
        if (!archive->ExchangeString(added, kAddedTag)) {
            // Version 1: of its folders, those no rule gives were the user's.
            std::vector<std::string> ruled = UsualFolders();
            for (const std::string& folder : AgreedFolders())
                ruled.push_back(folder);
            std::vector<std::string> own;
            for (const std::string& folder : SplitFolderList(walked.IsEmpty() ? "" : walked.CStr())) {
                if (!Contains(ruled, folder) && !Contains(own, folder))
                    own.push_back(folder);
            }
            m_added = JoinFolderList(own);
            return;
        }
        m_added = JoinFolderList(SplitFolderList(added.IsEmpty() ? "" : added.CStr()));
        for (PlugInfo* info : read) {
            kiv::string names;
            if (!archive->ExchangeString(names, kOtherNamesTag))
                break;
            info->SetOtherNames(names.GetText());
        }
        return;
    }
    kiv::string walked(GetFolder().c_str());
    archive->ExchangeString(walked, kFoldersTag);
    // While a scan walks, the entries it has not reached yet are kept: a
    // probe that crashes the process must not cost the rest of the list.
    bool keepAll = m_walking.load(std::memory_order_acquire);
    int count = 0;
    for (const auto& manuf : m_manufs) {
        for (const auto& item : manuf->m_items)
            count += (keepAll || item->IsFound()) ? 1 : 0;
    }
    archive->ExchangeInt(count, fourcc("pcnt"));
    for (const auto& manuf : m_manufs) {
        for (const auto& item : manuf->m_items) {
            if (keepAll || item->IsFound())
                archive->ExchangeObject(item.get(), kInfoTag);
        }
    }
    kiv::string added(m_added.c_str());
    archive->ExchangeString(added, kAddedTag);
    for (const auto& manuf : m_manufs) {
        for (const auto& item : manuf->m_items) {
            if (keepAll || item->IsFound()) {
                kiv::string names(item->GetOtherNames().c_str());
                archive->ExchangeString(names, kOtherNamesTag);
            }
        }
    }
}

// ---- folder -------------------------------------------------------------------

bool PlugInfoList::SetFolder(const char* folder)
{
    if (!folder || strlen(folder) < 2)
        return false;
    // One folder or a colon-separated list of them, each of which must exist.
    std::vector<std::string> folders;
    for (const std::string& item : SplitFolderList(folder)) {
        if (!IsScannable(item))
            return false;
        if (!Contains(folders, item))
            folders.push_back(item);
    }
    if (folders.empty())
        return false;
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    m_added = JoinFolderList(folders);
    return true;
}

bool PlugInfoList::AddFolder(const char* folder)
{
    if (!folder || strchr(folder, plug::kFolderListSeparator))
        return false;
    const std::string item = AsFolder(folder);
    if (!IsScannable(item))
        return false;
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    // Kept even when a rule gives it now: the rules may change, the choice
    // stays. The walk takes each folder once either way.
    const std::vector<std::string> added = SplitFolderList(m_added);
    if (Contains(added, item))
        return true;
    if (added.size() >= static_cast<size_t>(plug::kMaxFolders))
        return false;
    if (!m_added.empty())
        m_added += plug::kFolderListSeparator;
    m_added += item;
    // A chosen folder stays chosen, scanned or not.
    SaveLocked();
    return true;
}

bool PlugInfoList::RemoveFolder(const char* folder)
{
    if (!folder || !folder[0] || strchr(folder, plug::kFolderListSeparator))
        return false;
    const std::string item = AsFolder(folder);
    if (Contains(AgreedFolders(), item))
        return false;
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    std::vector<std::string> added = SplitFolderList(m_added);
    std::vector<std::string> kept;
    for (const std::string& known : added) {
        if (known != item)
            kept.push_back(known);
    }
    if (kept.size() == added.size())
        return false;
    m_added = JoinFolderList(kept);
    // Written even when nothing is left: the file must not bring it back.
    SaveLocked(true);
    return true;
}

std::string PlugInfoList::GetRemovableFolders() const
{
    const std::vector<std::string> ruled = AgreedFolders();
    std::vector<std::string> removable;
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    for (const std::string& folder : SplitFolderList(m_added)) {
        if (!Contains(ruled, folder))
            removable.push_back(folder);
    }
    return JoinFolderList(removable);
}

bool PlugInfoList::ListUnread(std::string& path, int& reason) const
{
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    reason = m_listReadError;
    path = m_listPath;
    return reason != 0;
}

std::string PlugInfoList::GetFolder() const
{
    std::vector<std::string> folders;
    for (const std::string& folder : AgreedFolders()) {
        if (IsScannable(folder) && !Contains(folders, folder))
            folders.push_back(folder);
    }
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    for (const std::string& folder : SplitFolderList(m_added)) {
        if (IsScannable(folder) && !Contains(folders, folder))
            folders.push_back(folder);
    }
    return JoinFolderList(folders);
}

std::string PlugInfoList::GetAddedFolders() const
{
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_added;
}

// ---- readers ------------------------------------------------------------------

int PlugInfoList::GetManufCount() const
{
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return static_cast<int>(m_manufs.size());
}

PlugManuf* PlugInfoList::GetManuf(int index) const
{
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (index < 0 || index >= static_cast<int>(m_manufs.size()))
        return nullptr;
    return m_manufs[index].get();
}

PlugInfo* PlugInfoList::GetPlugOfType(int vendorIndex, int type, int index) const
{
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    for (const auto& manuf : m_manufs) {
        if (!manuf->HasType(type))
            continue;
        if (vendorIndex-- > 0)
            continue;
        PlugInfo* info = manuf->GetItemOfType(type, index);
        return info && info->IsAvailable() ? info : nullptr;
    }
    return nullptr;
}

PlugInfo* PlugInfoList::FindByName(const char* name) const
{
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    PlugInfo* info = FindEntryNamed(name);
    return info && info->IsAvailable() ? info : nullptr;
}

int PlugInfoList::GetEntryCount() const
{
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    int count = 0;
    for (const auto& manuf : m_manufs)
        count += static_cast<int>(manuf->m_items.size());
    return count;
}

PlugInfo* PlugInfoList::FindEntry(const char* name) const
{
    if (!name)
        return nullptr;
    for (const auto& manuf : m_manufs) {
        for (const auto& item : manuf->m_items) {
            if (item->GetName() && strcmp(item->GetName(), name) == 0)
                return item.get();
        }
    }
    return nullptr;
}

PlugInfo* PlugInfoList::FindEntryNamed(const char* name) const
{
    if (PlugInfo* info = FindEntry(name))
        return info;
    for (const auto& manuf : m_manufs) {
        for (const auto& item : manuf->m_items) {
            if (item->HasOtherName(name))
                return item.get();
        }
    }
    return nullptr;
}

PlugManuf* PlugInfoList::FindOrMakeManuf(const char* vendor)
{
    if (!vendor)
        vendor = "";
    for (const auto& manuf : m_manufs) {
        if (strcmp(manuf->GetVendor(), vendor) == 0)
            return manuf.get();
    }
    auto manuf = std::make_unique<PlugManuf>(vendor, &m_lock);
    PlugManuf* made = manuf.get();
    auto at = m_manufs.begin();
    while (at != m_manufs.end() && kiv::CompareNoCase((*at)->GetVendor(), vendor) <= 0)
        ++at;
    m_manufs.insert(at, std::move(manuf));
    return made;
}

void PlugInfoList::File(std::unique_ptr<PlugInfo> info)
{
    PlugManuf* manuf = FindOrMakeManuf(info->GetVendor());
    manuf->Insert(std::move(info));
}

void PlugInfoList::RemoveAllLocked()
{
    m_manufs.clear();
}

// ---- scan ---------------------------------------------------------------------

bool PlugInfoList::StartScan(ProgressCallback callback, void* context)
{
    Print("PlugInfoList::StartScan()");
    if (IsRunning() || m_guardPath.empty())
        return false;
    m_callback = callback;
    m_callbackContext = context;
    return Start(plug::kScanThreadCode, 0);
}

void PlugInfoList::Run()
{
    m_stopRequest.store(false, std::memory_order_release);
    try {
        Scan();
    } catch (...) {
        m_walking.store(false, std::memory_order_release);
    }
}

// Offers every library under one folder of the list to AddFound.
class PlugInfoList::FolderWalk : public file::Scan {
public:
    explicit FolderWalk(PlugInfoList& list) : m_list(list) {}

protected:
    void EnterDirectory(const char*, const char*, const char* fullPath) override
    {
        if (Depth() < plug::kMaxScanDepth)
            Walk(fullPath);
    }
    void OnFile(const char*, const char* name, const char* fullPath) override
    {
        if (!EndsWithLibraryExt(name))
            return;
        // A library reached twice (links, or folders of the list inside one
        // another) is listed once; its other names find it too.
        struct stat st;
        if (stat(fullPath, &st) != 0)
            return;
        const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
        auto seen = m_list.m_seenFiles.find(id);
        if (seen != m_list.m_seenFiles.end()) {
            m_list.AddOtherName(seen->second, name);
            return;
        }
        m_list.m_probeVendor[0] = 0;
        std::string listed = m_list.AddFound(fullPath, name);
        if (!listed.empty())
            m_list.m_seenFiles.emplace(id, std::move(listed));
    }
    bool StopWalk() override { return m_list.m_stopRequest.load(std::memory_order_acquire); }

private:
    PlugInfoList& m_list;
};

bool PlugInfoList::Scan()
{
    const std::string folder = GetFolder();
    bool stopped = m_stopRequest.load(std::memory_order_acquire);
    if (folder.empty()) {
        if (m_callback && !stopped)
            m_callback(nullptr, m_callbackContext);
        return false;
    }
    {
        // Found means seen by this scan.
        std::lock_guard<std::recursive_mutex> hold(m_lock);
        for (const auto& manuf : m_manufs) {
            for (const auto& item : manuf->m_items)
                item->SetFound(false);
        }
    }
    m_walking.store(true, std::memory_order_release);
    m_seenFiles.clear();
    for (const std::string& item : SplitFolderList(folder))
        FolderWalk(*this).Walk(item.c_str());
    stopped = m_stopRequest.load(std::memory_order_acquire);
    // A scan cut short keeps the entries it did not reach.
    m_walking.store(stopped, std::memory_order_release);
    // The callback's owner may be gone when the list is being destroyed.
    if (m_callback && !stopped)
        m_callback(nullptr, m_callbackContext);
    Save();
    m_walking.store(false, std::memory_order_release);
    file::RemoveFile(m_guardPath.c_str());
    return GetManufCount() > 0;
}

bool PlugInfoList::PauseUnlessStopped(int ms)
{
    for (int waited = 0; waited < ms; waited += plug::kStopPollMs) {
        if (m_stopRequest.load(std::memory_order_acquire))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(plug::kStopPollMs));
    }
    return !m_stopRequest.load(std::memory_order_acquire);
}

std::string PlugInfoList::AddFound(const char* path, const char* name)
{
    Print("PlugInfoList::AddFound(%s)", path);
    if (m_callback)
        m_callback(name, m_callbackContext);
    if (!PauseUnlessStopped(plug::kScanPauseMs))
        return {};
    char realName[plug::kListTextBytes] = {};
    if (!file::RealFileName(path, realName, sizeof realName))
        realName[0] = 0;
    {
        std::lock_guard<std::recursive_mutex> hold(m_lock);
        // Known under this name or another (a link, its real file): it keeps
        // the name it is listed under, so states naming it still find it.
        PlugInfo* known = FindEntryNamed(name);
        if (!known && realName[0])
            known = FindEntryNamed(realName);
        if (known) {
            // Known libraries keep their first probe result.
            if (!known->GetPath() || strcmp(known->GetPath(), path) != 0)
                known->SetPath(path);
            known->SetFound(true);
            known->AddOtherName(name);
            known->AddOtherName(realName);
            return known->GetName() ? known->GetName() : "";
        }
    }
    auto info = std::make_unique<PlugInfo>();
    info->SetPath(path);
    info->SetName(name);
    info->AddOtherName(realName);
    info->SetType(plug::kTypeNotProbed);
    info->SetFound(true);
    info->SetFormat(plug::kFormatVst2);
    info->SetVendor(plug::kVendorUnknown);
    {
        // The guard goes down before the probe: a crash leaves it behind.
        ArchiSave guard;
        if (!guard.SaveFile(info.get(), plug::kInfoArchiveType, m_guardPath.c_str()))
            return {};  // unguarded probes are not made
        Save();
    }
    int type = ProbePlugin(path);
    info->SetType(type);
    info->SetVendor(m_probeVendor);
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    File(std::move(info));
    return name;
}

void PlugInfoList::AddOtherName(const std::string& listedName, const char* name)
{
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (PlugInfo* info = FindEntry(listedName.c_str()))
        info->AddOtherName(name);
}

vst::intptr PlugInfoList::ProbeHostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float)
{
    switch (opcode) {
    case vst::audioMasterVersion:
        return plug::kHostVstVersion;
    case vst::audioMasterCurrentId:
        return g_probeCount.load(std::memory_order_relaxed);
    default:
        return 0;
    }
}

int PlugInfoList::ProbePlugin(const char* path)
{
    Print("PlugInfoList::ProbePlugin(%s)", path);
    snprintf(m_probeVendor, sizeof(m_probeVendor), "%s", plug::kVendorOther);
    try {
        PlugLibrary library;
        if (!library.Load(path))
            return plug::kTypeFailed;
        vst::AEffect* effect = PlugLibrary::CallEntry(library.FindEntry(), ProbeHostCallback);
        if (!effect || !effect->dispatcher)
            return plug::kTypeFailed;
        char vendor[plug::kTextBufferBytes] = {};
        vst::intptr answer = effect->dispatcher(effect, vst::effGetVendorString, 0, 0, vendor, 0.0f);
        vendor[sizeof(vendor) - 1] = 0;
        if (answer != 0 && vendor[0])
            snprintf(m_probeVendor, sizeof(m_probeVendor), "%s", vendor);
        int type = (effect->flags & vst::effFlagsIsSynth) ? plug::kTypeInstrument : plug::kTypeEffect;
        effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
        library.Free();
        g_probeCount.fetch_add(1, std::memory_order_relaxed);
        return type;
    } catch (...) {
        snprintf(m_probeVendor, sizeof(m_probeVendor), "%s", plug::kVendorOther);
        return plug::kTypeFailed;
    }
}
