#include "engine/GigaPart.h"

#include <cstring>

#include "engine/GigaBank.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaTone.h"
#include "kiv/file/Dir.h"

namespace {

// Sets a zone value only when it differs: a program shared with another
// player that is playing is then left untouched on a reload.
template <typename T>
void Store(T& field, T value)
{
    if (field != value)
        field = value;
}

// The owning tone's parts lock (none for a part without a tone): the GUI
// reads the path, bank and program while it holds it.
GigaTone::PartsLock LockTone(const GigaTone* tone)
{
    return tone ? tone->LockParts() : GigaTone::PartsLock();
}

}  // namespace

GigaPart::GigaPart(GigaTone* tone) : m_tone(tone) {}

GigaPart::~GigaPart()
{
    ReleaseProgram();
    ReleaseBank();
}

void GigaPart::SetProgram(const char* path, int index, bool reset)
{
    GigaTone::PartsLock lock = LockTone(m_tone);
    if (path)
        m_path.Assign(path);
    else
        m_path.Clear();
    m_programIndex = index;
    if (reset) {
        keyLow = 0;
        keyHigh = 0;
        keyOffset = 0;
    }
    SetState(giga::kPartToLoad);
}

void GigaPart::SetPath(const char* path)
{
    GigaTone::PartsLock lock = LockTone(m_tone);
    if (path)
        m_path.Assign(path);
    else
        m_path.Clear();
    SetState(giga::kPartToLoad);
}

void GigaPart::Clear()
{
    GigaTone::PartsLock lock = LockTone(m_tone);
    m_programIndex = -1;
    SetState(giga::kPartToLoad);
}

const char* GigaPart::GetPath() const
{
    return m_path.IsEmpty() ? nullptr : m_path.CStr();
}

const char* GigaPart::GetFileName() const
{
    if (m_path.IsEmpty())
        return nullptr;
    const char* text = m_path.CStr();
    int length = m_path.GetLength();
    // The search starts five characters before the end (".gig" and one more)
    // and never leaves the text; without a separator the whole path is the name.
    for (int i = length - 5; i >= 0; --i)
        if (text[i] == '/' || text[i] == '\\')
            return text + i + 1;
    return text;
}

const char* GigaPart::GetMissingExtension() const
{
    return m_missingExtension.IsEmpty() ? nullptr : m_missingExtension.CStr();
}

const char* GigaPart::GetMissingPath() const
{
    if (GetState() == giga::kPartMissing)
        return GetPath();
    return GetState() == giga::kPartLoaded ? GetMissingExtension() : nullptr;
}

const char* GigaPart::GetProgramName() const
{
    GigaProgram* program = GetProgram();
    return program ? program->GetName() : nullptr;
}

void GigaPart::ReleaseProgram()
{
    GigaProgram* program = m_program.exchange(nullptr, std::memory_order_acq_rel);
    if (program)
        program->Release();
}

void GigaPart::ReleaseBank()
{
    if (!m_bank)
        return;
    GigaBank* bank = m_bank;
    m_bank = nullptr;
    GigaBankManager::ReleaseBank(bank);
}

bool GigaPart::Load(GigaBankManager& manager)
{
    int state = GetState();
    if (state == giga::kPartMissing || state == giga::kPartFailed)
        return false;
    if (state != giga::kPartToLoad)
        return true;
    // The program, bank and loaded fields change under the tone's parts lock
    // (the GUI reads them under it); the bank opening and the program load
    // run outside it, so the GUI never waits for the disk.
    kiv::string path;
    int programIndex;
    {
        GigaTone::PartsLock lock = LockTone(m_tone);
        ReleaseProgram();
        m_unusable = 0;
        m_missingExtension.Clear();
        SetState(giga::kPartLoading);
        programIndex = m_programIndex;
        if (programIndex < 0) {
            ReleaseBank();
            return true;  // emptied: the tone removes it
        }
        // An index without a path names no file: the part is missing, never a
        // load from whatever bank it held before.
        if (m_path.IsEmpty()) {
            SetState(giga::kPartMissing);
            return false;
        }
        path = m_path;
    }
    GigaBank* bank = manager.GetBank(path.CStr());
    if (!bank) {
        // A file that is there but does not open as a bank is no missing
        // file: searching for it elsewhere would not help.
        SetState(file::FileExists(path.CStr()) ? giga::kPartFailed : giga::kPartMissing);
        return false;
    }
    {
        GigaTone::PartsLock lock = LockTone(m_tone);
        ReleaseBank();
        m_bank = bank;
    }
    // No such instrument (the file was replaced by another version), a
    // damaged one, or no memory for it: the part stays, with its file and
    // instrument, as failed, so the next save still names it.
    GigaProgram* program = programIndex < bank->GetProgramCount() ? bank->LoadProgram(programIndex, m_tone) : nullptr;
    if (!program) {
        GigaTone::PartsLock lock = LockTone(m_tone);
        if (GetState() != giga::kPartLoading)
            return true;  // set again meanwhile: that request stands
        ReleaseBank();
        SetState(giga::kPartFailed);
        return false;
    }
    GigaTone::PartsLock lock = LockTone(m_tone);
    if (GetState() != giga::kPartLoading) {
        // The GUI set the part again (cleared or chose another instrument)
        // while it loaded: that request stands for the next pass.
        lock.unlock();
        program->Release();
        return true;
    }
    m_program.store(program, std::memory_order_release);
    m_unusable = program->unusableSamples;
    if (m_unusable > 0) {
        if (const char* missing = bank->GetMissingFile())
            m_missingExtension.Assign(missing);
    }
    SetState(giga::kPartLoaded);
    if (keyHigh == 0 || (keyLow == 12 && keyHigh == 12)) {
        keyLow = program->lowestKey;
        keyHigh = program->highestKey;
    }
    programBend = program->bendRange;
    if (bend == 0)
        bend = programBend;
    ComputeAverages();
    return true;
}

void GigaPart::ComputeAverages()
{
    for (int i = 0; i < kEnvelopeFloats; ++i) {
        ampAverage[i] = 0.0f;
        filterAverage[i] = 0.0f;
    }
    GigaProgram* program = GetProgram();
    if (!program)
        return;
    int zones = 0;
    int filterZones = 0;
    for (int r = 0; r < program->GetRegionCount(); ++r) {
        GigaRegion* region = program->GetRegion(r);
        if (!region)
            continue;
        for (int z = 0; z < region->GetZoneCount(); ++z) {
            GigaZone* zone = region->GetZone(z);
            if (!zone)
                continue;
            ++zones;
            ampAverage[kVelocity] += zone->velocityDepth;
            ampAverage[kAttack] += zone->ampAttack;
            ampAverage[kDecay] += zone->ampDecay;
            ampAverage[kSustain] += zone->ampSustain;
            ampAverage[kRelease] += zone->ampRelease;
            if (!zone->filterOn) {
                Store(zone->filterCutoff, 0.0f);
                Store(zone->filterVelocityDepth, 0.0f);
                Store(zone->filterVelocityCurve, 1);
                continue;
            }
            ++filterZones;
            filterAverage[kLevel] += zone->filterCutoff;
            filterAverage[kVelocity] += zone->filterVelocityDepth;
        }
    }
    if (zones > 1)
        for (int i = kVelocity; i <= kRelease; ++i)
            ampAverage[i] /= static_cast<float>(zones);
    if (filterZones > 1) {
        filterAverage[kLevel] /= static_cast<float>(filterZones);
        filterAverage[kVelocity] /= static_cast<float>(filterZones);
    }
    if (filterZones == 0)
        for (int i = 0; i < kEnvelopeFloats; ++i)
            filterAverage[i] = 0.0f;
}
