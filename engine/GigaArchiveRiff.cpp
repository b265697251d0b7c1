// The older RIFF form 'OvGm' of the player (".tvp" performances and older
// host chunks): read into records and applied only when the whole file read,
// and written with the library's RIFF writer.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "engine/GigaArchive.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaTone.h"
#include "kiv/file/Riff.h"
#include "kiv/file/SafeFile.h"

namespace {

// The current chunk lies wholly inside the file: a file cut short fails
// instead of loading half a performance.
bool Fits(const CImpRiff& riff) { return riff.GetDataStart() + riff.GetChunkSize() <= riff.GetSize(); }

// Reads up to n 32-bit values from the current chunk, never past its end;
// values the chunk does not hold keep what they were.
template <typename T>
void ReadValues(CImpRiff& riff, T* out, int n)
{
    static_assert(sizeof(T) == 4);
    const int64_t have = std::min<int64_t>(n, riff.GetChunkSize() / 4);
    if (have > 0)
        riff.Read(out, 4, have);
}

void ReadInt(CImpRiff& riff, int& value)
{
    int32_t v = value;
    ReadValues(riff, &v, 1);
    value = v;
}

void ReadText(CImpRiff& riff, kiv::string& text)
{
    char buffer[giga::kMaxRiffText + 1];
    const int length = static_cast<int>(std::min<int64_t>(riff.GetChunkSize(), giga::kMaxRiffText));
    buffer[0] = '\0';
    if (length > 0)
        riff.ReadString(buffer, length, sizeof buffer);
    text.Assign(buffer);
}

bool WriteInts(CRiffWriter& w, const char* id, std::initializer_list<int> values)
{
    bool ok = w.OpenChunk(id) >= 0;
    for (int v : values)
        ok = w.WriteInt(v) && ok;
    return w.CloseChunk() && ok;
}

bool WriteText(CRiffWriter& w, const char* id, const char* text)
{
    bool ok = w.OpenChunk(id) >= 0;
    ok = w.WriteString(text, 0) && ok;
    return w.CloseChunk() && ok;
}

// Every tone with parts is emptied (started or not) before a performance
// lands, so layers are never doubled.
void EmptyTonesWithParts(GigaDeck& deck, const GigaDeckRecord& record)
{
    for (int i = 0; i < deck.GetToneCount(); ++i) {
        GigaTone* tone = deck.GetGigaTone(i);
        const bool named = i < static_cast<int>(record.tones.size()) && record.tones[i].present;
        if (!named && tone->GetPartCount() > 0)
            tone->Clear();
    }
}

}  // namespace

// ---------------------------------------------------------------- part

bool GigaPartRecord::ReadChunk(CImpRiff& riff)
{
    if (!Fits(riff))
        return false;
    if (riff.IsChunk("bank")) {
        ReadText(riff, path);
    } else if (riff.IsChunk("prog")) {
        ReadInt(riff, index);
        hasProgram = !path.IsEmpty() && index >= 0;
    } else if (riff.IsChunk("stak")) {
        int32_t v[3] = {keyLow, keyHigh, keyOffset};
        ReadValues(riff, v, 3);
        keyLow = v[0];
        keyHigh = v[1];
        keyOffset = v[2];
    } else if (riff.IsChunk("para")) {
        int32_t v[3] = {level, pan, tuning};
        ReadValues(riff, v, 3);
        level = v[0];
        pan = v[1];
        tuning = v[2];
    } else if (riff.IsChunk("bend")) {
        ReadInt(riff, bend);
    } else if (riff.IsChunk("vcau")) {
        ReadValues(riff, amp, 6);
    } else if (riff.IsChunk("vcfu")) {
        float v[7];
        std::copy(filter, filter + 6, v);
        std::memcpy(&v[6], &filterUse, 4);
        ReadValues(riff, v, 7);
        std::copy(v, v + 6, filter);
        std::memcpy(&filterUse, &v[6], 4);
    }
    return true;
}

void GigaPartRecord::WriteRiff(CRiffWriter& w) const
{
    if (!hasProgram)
        return;
    WriteText(w, "bank", path.CStr());
    WriteInts(w, "prog", {index});
    WriteInts(w, "stak", {keyLow, keyHigh, keyOffset});
    WriteInts(w, "para", {level, pan, tuning});
    WriteInts(w, "bend", {bend});
    w.OpenChunk("vcau");
    for (float v : amp)
        w.WriteFloat(v);
    w.CloseChunk();
    w.OpenChunk("vcfu");
    for (float v : filter)
        w.WriteFloat(v);
    w.WriteInt(filterUse);
    w.CloseChunk();
}

bool GigaPart::ReadRiff(CImpRiff& riff)
{
    GigaPartRecord record;
    const int level = riff.GetLevel() + 1;
    try {
        while (riff.Descend(level))
            if (!record.ReadChunk(riff))
                return false;
    } catch (...) {
        return false;
    }
    std::optional<GigaApplyHold> hold;
    if (GetTone())
        hold.emplace(*GetTone());
    record.ApplyTo(*this);
    return true;
}

void GigaPart::WriteRiff(CRiffWriter& riff) const
{
    GigaPartRecord record;
    record.From(*this);
    record.WriteRiff(riff);
}

// ---------------------------------------------------------------- tone

bool GigaToneRecord::ReadRiff(CImpRiff& riff, int level)
{
    // The tone is reset and its name cleared; its channel and bus stay
    // unless the file gives them.
    const int keepChannel = channel;
    const int keepBus = bus;
    *this = GigaToneRecord();
    channel = keepChannel;
    bus = keepBus;
    int loosePart = -1;  // older files: the part made by a 'prog' in the tone
    kiv::string looseBank;
    while (riff.Descend(level)) {
        if (!Fits(riff))
            return false;
        if (riff.IsChunk("midi")) {
            ReadInt(riff, channel);
        } else if (riff.IsChunk("outb")) {
            ReadInt(riff, bus);
            if (bus > 15)
                bus = 0;
        } else if (riff.IsChunk("para")) {
            int32_t v[3] = {this->level, pan, tuning};
            ReadValues(riff, v, 3);
            this->level = v[0];
            pan = v[1];
            tuning = v[2];
        } else if (riff.IsChunk("name")) {
            ReadText(riff, name);
        } else if (riff.IsChunk("stak")) {
            int32_t v[2] = {stackMode, keySwitchLow};
            ReadValues(riff, v, 2);
            stackMode = v[0];
            keySwitchLow = v[1];
        } else if (riff.IsChunk("part")) {
            GigaPartRecord part;
            while (riff.Descend(level + 1))
                if (!part.ReadChunk(riff))
                    return false;
            if (static_cast<int>(parts.size()) < giga::kMaxParts)
                parts.push_back(std::move(part));
            loosePart = -1;
        } else if (riff.IsChunk("bank")) {
            ReadText(riff, looseBank);
        } else if (riff.IsChunk("prog")) {
            GigaPartRecord part;
            part.path = looseBank;
            ReadInt(riff, part.index);
            part.hasProgram = !part.path.IsEmpty() && part.index >= 0;
            loosePart = -1;
            if (static_cast<int>(parts.size()) < giga::kMaxParts) {
                parts.push_back(std::move(part));
                loosePart = static_cast<int>(parts.size()) - 1;
            }
        } else if (loosePart >= 0 && (riff.IsChunk("bend") || riff.IsChunk("vcau") || riff.IsChunk("vcfu"))) {
            parts[loosePart].ReadChunk(riff);
        }
    }
    complete = true;
    present = true;
    return true;
}

bool GigaToneRecord::WriteRiff(CRiffWriter& w) const
{
    bool ok = true;
    if (!name.IsEmpty())
        ok = WriteText(w, "name", name.CStr()) && ok;
    ok = WriteInts(w, "stak", {stackMode, keySwitchLow}) && ok;
    ok = WriteInts(w, "midi", {channel}) && ok;
    ok = WriteInts(w, "outb", {bus}) && ok;
    ok = WriteInts(w, "para", {level, pan, tuning}) && ok;
    for (const GigaPartRecord& part : parts) {
        ok = w.OpenChunk("part") >= 0 && ok;
        part.WriteRiff(w);
        ok = w.CloseChunk() && ok;
    }
    return ok;
}

bool GigaTone::ReadRiff(CImpRiff& riff)
{
    GigaToneRecord record;
    record.channel = GetChannel();
    record.bus = GetBus();
    try {
        if (!record.ReadRiff(riff, riff.GetLevel() + 1))
            return false;
    } catch (...) {
        return false;
    }
    GigaApplyHold hold(*this);
    record.ApplyTo(*this);
    return true;
}

bool GigaTone::WriteRiff(CRiffWriter& riff)
{
    GigaToneRecord record;
    record.From(*this);
    SetModified(false);
    return record.WriteRiff(riff);
}

// ---------------------------------------------------------------- player

bool GigaDeckRecord::ReadRiff(CImpRiff& riff)
{
    complete = false;
    if (!riff.Descend(0) || !Fits(riff) || !riff.IsChunk("RIFF", giga::kRiffForm))
        return false;
    if (!riff.Descend(1) || !Fits(riff) || !riff.IsChunk("LIST", "tone"))
        return false;
    while (riff.Descend(2)) {
        if (!Fits(riff))
            return false;
        if (!riff.IsChunk("RIFF", "tone"))
            continue;
        int index = 0;
        int type = 0;  // read and not used
        while (riff.Descend(3)) {
            if (!Fits(riff))
                return false;
            if (riff.IsChunk("indx")) {
                ReadInt(riff, index);
            } else if (riff.IsChunk("type")) {
                ReadInt(riff, type);
            } else if (riff.IsChunk("RIFF", "ovtn")) {
                // Only an index of one of the player's tones.
                if (index < 0 || index >= static_cast<int>(tones.size()))
                    continue;
                if (!tones[index].ReadRiff(riff, 4))
                    return false;
            }
        }
    }
    complete = true;
    return true;
}

bool GigaDeck::OnLoad(CImpRiff& riff)
{
    GigaDeckRecord record(GetToneCount());
    for (int i = 0; i < GetToneCount(); ++i) {
        record.tones[i].channel = GetGigaTone(i)->GetChannel();
        record.tones[i].bus = GetGigaTone(i)->GetBus();
    }
    try {
        if (!record.ReadRiff(riff))
            return false;
    } catch (...) {
        return false;  // a malformed chunk id
    }
    GigaApplyHold hold(*this);
    EmptyTonesWithParts(*this, record);
    record.ApplyTo(*this);
    return true;
}

bool GigaDeck::OnLoad(const char* path)
{
    if (!path)
        return false;
    Print("GigaDeck::OnLoad(%s)", path);
    WaitWhileLoading();
    CImpRiff riff;
    if (!riff.Open(path, false))
        return false;
    return LoadWaiting(riff);
}

bool GigaDeck::LoadWaiting(CImpRiff& riff)
{
    // The tones waiting are those of this load: no pass may take them between
    // the apply and the check (the result would then depend on the loader).
    std::unique_lock<std::recursive_mutex> passes;
    if (GigaBankManager* manager = GigaBankManager::Get())
        passes = manager->HoldPasses();
    if (!OnLoad(riff))
        return false;
    for (int i = 0; i < GetToneCount(); ++i) {
        if (GetGigaTone(i)->GetState() == giga::kToneToLoad) {
            SetLoading(true);
            return true;
        }
    }
    return false;
}

bool GigaDeck::Load(const char* path)
{
    if (!path)
        return false;
    Print("OvPlayer::Load(%s)\r\n", path);
    CImpRiff riff;
    if (!riff.Open(path, false))
        return false;
    Print("riff.OpenRiff success\r\n");
    if (!OnLoad(riff))
        return false;
    Print("OnLoad success\r\n");
    SetPath(path);
    return true;
}

bool GigaDeck::SetStateFromRiff(const kiv::data& chunk)
{
    if (!chunk.GetBytes() || chunk.GetSize() <= 0)
        return false;
    // Read where the host keeps it: no file is written, so a full or
    // unusable data folder cannot refuse the state.
    WaitWhileLoading();
    CImpRiff riff;
    if (!riff.OpenMemory(chunk.GetBytes(), chunk.GetSize(), false))
        return false;
    const bool ok = LoadWaiting(riff);
    if (ok) {
        if (GigaBankManager* manager = GigaBankManager::Get())
            manager->QueuePlayer(this);
        else
            SetLoading(false);  // no loader would ever clear it
    }
    return ok;
}

bool GigaDeck::SaveRiff(const char* path)
{
    if (!path)
        return false;
    // Written beside the target and renamed over it only when complete. The
    // RIFF writer seeks back to fill in sizes, so it opens the temporary
    // file by name and writes it whole before the commit.
    file::SafeFile safe;
    if (!safe.Open(path))
        return false;
    CRiffWriter w;
    if (!w.OpenWrite(safe.GetTempPath().c_str()))
        return false;
    bool ok = w.OpenChunk("RIFF", giga::kRiffForm) >= 0;
    ok = w.OpenChunk("LIST", "tone") >= 0 && ok;
    for (int i = 0; i < GetToneCount(); ++i) {
        GigaTone* tone = GetGigaTone(i);
        ok = w.OpenChunk("RIFF", "tone") >= 0 && ok;
        ok = WriteInts(w, "indx", {i}) && ok;
        ok = WriteInts(w, "type", {static_cast<int>(tone->GetType())}) && ok;
        ok = w.OpenChunk("RIFF", "ovtn") >= 0 && ok;
        ok = tone->WriteRiff(w) && ok;
        ok = w.CloseChunk() && ok;
        ok = w.CloseChunk() && ok;
    }
    ok = w.CloseChunk() && ok;
    ok = w.CloseChunk() && ok;
    ok = w.Close() && ok;
    return ok && safe.Commit();
}
