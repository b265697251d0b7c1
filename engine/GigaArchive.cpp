// The tagged-archive forms of the studio, the player, the tone and the part,
// and the preset and state-chunk operations built on them.
#include "engine/GigaArchive.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "engine/OvEffect.h"
#include "kiv/file/Path.h"

namespace {

constexpr uint32_t T(const char (&tag)[5]) { return fourcc(tag); }

bool Version(ArchiFile* archive, const int (&v)[3]) { return archive->ExchangeVersion(v[0], v[1], v[2]); }

int Clamp(int value, int low, int high) { return std::clamp(value, low, high); }

float Finite(float value, float fallback) { return std::isfinite(value) ? value : fallback; }

// The parameter codes of a built-in effect type.
const std::vector<uint32_t>& EffectCodes(uint32_t type)
{
    static const std::vector<uint32_t> comp = {ovfx::kThreshold, ovfx::kRatio, ovfx::kAttack, ovfx::kRelease,
                                               ovfx::kMakeUp};
    static const std::vector<uint32_t> eq = {ovfx::kLowGain, ovfx::kMidGain, ovfx::kHighGain};
    static const std::vector<uint32_t> none;
    return type == ovfx::kCompId ? comp : type == ovfx::kEQ3Id ? eq : none;
}

uint32_t SlotEffectType(int slot) { return slot == kOvSlotComp ? ovfx::kCompId : ovfx::kEQ3Id; }

std::unique_ptr<OvEffect> MakeEffect(uint32_t type)
{
    if (type == ovfx::kCompId)
        return std::make_unique<OvEffectComp>();
    if (type == ovfx::kEQ3Id)
        return std::make_unique<OvEffectEQ3>();
    return nullptr;
}

bool IsArchive(const kiv::data& chunk)
{
    if (!chunk.GetBytes() || chunk.GetSize() < 4)
        return false;
    const uint8_t* b = chunk.GetBytes();
    const uint32_t word = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                          (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return word == archi::kMagic;
}

bool IsRiff(const kiv::data& chunk)
{
    return chunk.GetBytes() && chunk.GetSize() >= 4 && std::memcmp(chunk.GetBytes(), "RIFF", 4) == 0;
}

bool AnyToneToLoad(const GigaDeck& deck)
{
    for (int i = 0; i < deck.GetToneCount(); ++i)
        if (deck.GetGigaTone(i)->GetState() == giga::kToneToLoad)
            return true;
    return false;
}

// A loaded player with tones waiting: the loader is asked to take it.
bool QueueIfWaiting(GigaDeck& deck)
{
    if (!AnyToneToLoad(deck))
        return false;
    // Without a loader nothing would ever clear the flag, and the next
    // performance load would wait for it in vain.
    GigaBankManager* manager = GigaBankManager::Get();
    if (manager) {
        deck.SetLoading(true);
        manager->QueuePlayer(&deck);
    }
    return true;
}

// Keeps the loader's passes away from the player while records are applied.
std::unique_lock<std::recursive_mutex> HoldPasses()
{
    GigaBankManager* manager = GigaBankManager::Get();
    return manager ? manager->HoldPasses() : std::unique_lock<std::recursive_mutex>();
}

// An object's state written through its record, to memory or to a file.
template <typename Record, typename Object>
bool SaveRecord(Object& object, uint32_t type, kiv::data& chunk)
{
    Record record;
    record.From(object);
    ArchiSave saver;
    return saver.SaveMemory(&record, type, chunk);
}

template <typename Record, typename Object>
bool SaveRecord(Object& object, uint32_t type, const char* path)
{
    if (!path)
        return false;
    Record record;
    record.From(object);
    ArchiSave saver;
    return saver.SaveFile(&record, type, path);
}

// A record read whole, from memory or from a file: true only when complete.
template <typename Record>
bool LoadRecord(Record& record, uint32_t type, const kiv::data& chunk)
{
    ArchiLoad loader;
    return loader.LoadMemory(&record, type, chunk) && record.complete;
}

template <typename Record>
bool LoadRecord(Record& record, uint32_t type, const char* path)
{
    ArchiLoad loader;
    return loader.LoadFile(&record, type, path) && record.complete;
}

// An object inside an archive: saving writes its record; loading reads the
// record (prepared by the caller) and hands it to apply when complete.
template <typename Record, typename Object, typename Apply>
void ExchangeRecord(ArchiFile* archive, Object& object, Record& record, Apply&& apply)
{
    if (!archive->IsLoading()) {
        record.From(object);
        record.Archive(archive);
        return;
    }
    record.Archive(archive);
    if (record.complete)
        apply(record);
}

// After a state was set: the loader takes what waits at once, and searches
// for missing files.
bool LoadNowIf(bool applied)
{
    if (applied)
        if (GigaBankManager* manager = GigaBankManager::Get())
            manager->RunNow(true);
    return applied;
}

}  // namespace

// ---------------------------------------------------------------- apply hold

GigaApplyHold::GigaApplyHold(GigaDeck& deck) : m_passes(HoldPasses()), m_deck(&deck)
{
    // A player that is not running is not rendered: nothing to stop.
    m_restart = deck.IsRunning();
    if (m_restart)
        deck.OvStop();
}

GigaApplyHold::GigaApplyHold(GigaTone& tone) : m_passes(HoldPasses()), m_tone(&tone)
{
    // An armed start the audio thread has not taken yet counts as playing:
    // the stop withdraws it.
    m_restart = tone.IsStarted() || tone.GetCommand() == kOvCmdStart;
    if (m_restart)
        tone.OvStop();
}

GigaApplyHold::~GigaApplyHold()
{
    if (!m_restart)
        return;
    const bool waits = m_deck ? AnyToneToLoad(*m_deck) : m_tone->GetState() == giga::kToneToLoad;
    if (waits && GigaBankManager::Get())
        return;  // the loader's pass starts it once the new parts are loaded
    if (m_deck)
        m_deck->OvStart();
    else
        m_tone->OvStart();
}

// ---------------------------------------------------------------- part

void GigaPartRecord::From(const GigaPart& part)
{
    // A pass rewrites the path (missing-file search), keys and bend.
    const auto passes = HoldPasses();
    const char* p = part.GetPath();
    hasProgram = p && part.GetProgramIndex() >= 0;
    path.Assign(p ? p : "");
    index = part.GetProgramIndex();
    keyLow = part.keyLow;
    keyHigh = part.keyHigh;
    keyOffset = part.keyOffset;
    level = part.level;
    pan = part.pan;
    tuning = part.tuning;
    bend = part.bend;
    for (int i = 0; i < 6; ++i) {
        amp[i] = part.ampSettings[GigaPart::kLevel + i];
        filter[i] = part.filterSettings[GigaPart::kLevel + i];
    }
    filterUse = part.filterUse;
    mute = part.mute;
    bus = part.bus;
}

void GigaPartRecord::ApplyTo(GigaPart& part) const
{
    part.SetProgram(hasProgram ? path.CStr() : nullptr, hasProgram ? index : -1, false);
    // Stored values are not trusted: keys stay MIDI keys, so no lookup by
    // key or key offset can leave the key tables.
    part.keyLow = Clamp(keyLow, 0, giga::kMidiMax);
    part.keyHigh = Clamp(keyHigh, 0, giga::kMidiMax);
    part.keyOffset = Clamp(keyOffset, -giga::kMidiMax, giga::kMidiMax);
    part.level = Clamp(level, 0, giga::kMidiMax);
    part.pan = Clamp(pan, 0, giga::kMidiMax);
    part.tuning = Clamp(tuning, -giga::kMaxTuneCents, giga::kMaxTuneCents);
    part.bend = Clamp(bend, 0, giga::kMaxBend);
    for (int i = 0; i < 6; ++i) {
        part.ampSettings[GigaPart::kLevel + i] = Finite(amp[i], 0.0f);
        part.filterSettings[GigaPart::kLevel + i] = Finite(filter[i], 0.0f);
    }
    part.filterUse = filterUse;
    part.mute = mute;
    // An offset from the tone's bus: one that names no bus of the mixer
    // (and could overflow the voice's bus sum) plays on the tone's bus.
    part.bus = bus > -kOvMixerChannels && bus < kOvMixerChannels ? bus : 0;
}

void GigaPartRecord::Archive(ArchiFile* archive)
{
    complete = false;
    if (!Version(archive, giga::kPartVersion))
        return;
    const bool loading = archive->IsLoading();
    int has = hasProgram ? 1 : 0;
    bool ok = archive->ExchangeInt(has, T("prts"));
    if (loading)
        hasProgram = has == 1;
    if (ok && has == 1) {
        static const uint32_t ampTags[6] = {T("alev"), T("avel"), T("atak"), T("adcy"), T("astn"), T("arls")};
        static const uint32_t filterTags[6] = {T("flev"), T("fvel"), T("ftak"), T("fdcy"), T("fstn"), T("frls")};
        ok = ok && archive->ExchangeString(path, T("path"));
        ok = ok && archive->ExchangeInt(index, T("indx"));
        ok = ok && archive->ExchangeInt(keyLow, T("lkey"));
        ok = ok && archive->ExchangeInt(keyHigh, T("hkey"));
        ok = ok && archive->ExchangeInt(keyOffset, T("ofst"));
        ok = ok && archive->ExchangeInt(level, T("levl"));
        ok = ok && archive->ExchangeInt(pan, T("pano"));
        ok = ok && archive->ExchangeInt(tuning, T("tuno"));
        ok = ok && archive->ExchangeInt(bend, T("bend"));
        for (int i = 0; i < 6 && ok; ++i)
            ok = archive->ExchangeFloat(amp[i], ampTags[i]);
        for (int i = 0; i < 6 && ok; ++i)
            ok = archive->ExchangeFloat(filter[i], filterTags[i]);
    }
    if (!ok)
        return;
    // Later sections: an older archive lacks them and the values stay.
    archive->ExchangeInt(filterUse, T("uflt"));
    archive->ExchangeBool(mute, T("mute"));
    archive->ExchangeInt(bus, T("buso"));
    complete = true;
}

void GigaPart::Archive(ArchiFile* archive)
{
    if (!archive)
        return;
    // Loading starts from the part's own values: no pass may change them
    // between the read and the apply.
    std::unique_lock<std::recursive_mutex> passes;
    if (archive->IsLoading() && GetTone())
        passes = HoldPasses();
    GigaPartRecord record;
    record.From(*this);
    if (archive->IsLoading()) {
        // A part saved before the mute and bus existed plays unmuted on bus 0.
        record.mute = false;
        record.bus = 0;
    }
    record.Archive(archive);
    if (archive->IsLoading() && record.complete) {
        std::optional<GigaApplyHold> hold;
        if (GetTone())
            hold.emplace(*GetTone());
        record.ApplyTo(*this);
    }
}

// ---------------------------------------------------------------- tone

void GigaToneRecord::From(const GigaTone& tone)
{
    // A pass removes and rewrites parts.
    const auto passes = HoldPasses();
    channel = tone.GetChannel();
    bus = tone.GetBus();
    level = tone.GetVolume();
    pan = tone.GetPan();
    cents = tone.GetFineTune();
    semitones = tone.GetCoarseTune();
    tuning = semitones * 100 + cents;
    mute = tone.IsToneMuted() ? 1 : 0;
    solo = tone.IsSoloed() ? 1 : 0;
    name.Assign(tone.GetName());
    stackMode = tone.GetStackMode();
    keySwitchLow = tone.GetKeySwitchLow();
    parts.clear();
    for (int i = 0; i < tone.GetPartCount(); ++i) {
        parts.emplace_back();
        parts.back().From(*tone.GetPart(i));
    }
}

void GigaToneRecord::ApplyTo(GigaTone& tone) const
{
    // Every part the tone had is emptied (started or not), so the saved
    // parts never land on top of old layers; the loader removes the rest.
    tone.Clear();
    tone.Reset();
    tone.SetChannel(Clamp(channel, 0, kOvMaxTones - 1));
    tone.SetBus(bus >= 0 && bus < kOvMixerChannels ? bus : 0);
    tone.SetVolume(Clamp(level, 0, giga::kMidiMax));
    tone.SetPan(Clamp(pan, 0, giga::kMidiMax));
    int coarse = splitTune ? semitones : tuning / 100;
    int fine = splitTune ? cents : tuning % 100;
    tone.SetCoarseTune(Clamp(coarse, -giga::kMaxTuneCents / 100, giga::kMaxTuneCents / 100));
    tone.SetFineTune(Clamp(fine, -99, 99));
    tone.SetMuted(mute != 0);
    tone.Init(mute != 0, solo != 0);
    tone.SetName(name.CStr());
    tone.SetStackMode(stackMode);
    const int ks = Clamp(keySwitchLow, 0, giga::kMidiMax);
    tone.SetKeySwitchRange(ks, ks);
    tone.SetStacked(parts.size() > 1);
    for (const GigaPartRecord& record : parts) {
        if (!record.hasProgram)
            continue;
        GigaPart* part = tone.AddPart(record.path.CStr(), record.index);
        if (!part)
            break;  // 24 parts: the rest has no place
        record.ApplyTo(*part);
    }
}

void GigaToneRecord::Archive(ArchiFile* archive)
{
    complete = false;
    if (!Version(archive, giga::kToneVersion))
        return;
    const bool loading = archive->IsLoading();
    bool ok = archive->ExchangeInt(channel, T("midi"));
    ok = ok && archive->ExchangeInt(bus, T("abus"));
    ok = ok && archive->ExchangeInt(level, T("levl"));
    ok = ok && archive->ExchangeInt(pan, T("pano"));
    ok = ok && archive->ExchangeInt(tuning, T("tuno"));
    ok = ok && archive->ExchangeInt(mute, T("mute"));
    ok = ok && archive->ExchangeInt(solo, T("solo"));
    ok = ok && archive->ExchangeString(name, T("snam"));
    ok = ok && archive->ExchangeInt(stackMode, T("ctrl"));
    ok = ok && archive->ExchangeInt(keySwitchLow, T("loks"));
    int count = static_cast<int>(parts.size());
    ok = ok && archive->ExchangeInt(count, T("pcnt"));
    if (!ok || count < 0 || count > giga::kMaxStoredCount)
        return;
    if (loading) {
        parts.clear();
        // Each stored part consumes bytes or fails: a hostile count ends
        // with the data.
        for (int i = 0; i < count; ++i) {
            GigaPartRecord part;
            if (!archive->ExchangeObject(&part, giga::kPartObject) || !part.complete)
                return;
            if (static_cast<int>(parts.size()) < giga::kMaxParts)
                parts.push_back(std::move(part));
        }
    } else {
        for (GigaPartRecord& part : parts)
            archive->ExchangeObject(&part, giga::kPartObject);
    }
    const bool gotCents = archive->ExchangeInt(cents, T("tuno"));
    const bool gotSemitones = gotCents && archive->ExchangeInt(semitones, T("tuno"));
    if (loading)
        splitTune = gotCents && gotSemitones;
    complete = true;
    present = true;
}

void GigaTone::Archive(ArchiFile* archive)
{
    if (!archive)
        return;
    GigaToneRecord record;
    ExchangeRecord(archive, *this, record, [this](const GigaToneRecord& loaded) {
        GigaApplyHold hold(*this);
        loaded.ApplyTo(*this);
    });
}

bool GigaTone::LoadPreset(const char* path)
{
    if (!path)
        return false;
    Print("GigaTone::LoadPreset(%s)", path);
    GigaToneRecord record;
    // Read whole first: a preset that does not load leaves the tone's parts.
    if (!LoadRecord(record, giga::kToneArchive, path))
        return false;
    record.channel = GetChannel();
    GigaApplyHold hold(*this);
    record.ApplyTo(*this);
    file::Path split(path);
    StringRef title = split.GetTitle();
    SetName(title.GetLength() > 0 ? title.CStr() : path);
    return true;
}

bool GigaTone::SavePreset(const char* path)
{
    if (!path)
        return false;
    Print("GigaTone::SavePreset(%s)", path);
    return SaveRecord<GigaToneRecord>(*this, giga::kToneArchive, path);
}

// ---------------------------------------------------------------- player

void GigaDeckRecord::From(const GigaDeck& deck)
{
    tones.assign(deck.GetToneCount(), GigaToneRecord());
    for (int i = 0; i < deck.GetToneCount(); ++i)
        tones[i].From(*deck.GetGigaTone(i));
}

bool GigaDeckRecord::ApplyTo(GigaDeck& deck) const
{
    const int count = std::min(deck.GetToneCount(), static_cast<int>(tones.size()));
    for (int i = 0; i < count; ++i)
        if (tones[i].present)
            tones[i].ApplyTo(*deck.GetGigaTone(i));
    return AnyToneToLoad(deck);
}

void GigaDeckRecord::Archive(ArchiFile* archive)
{
    complete = false;
    if (!Version(archive, giga::kDeckVersion))
        return;
    int count = static_cast<int>(tones.size());
    if (!archive->ExchangeInt(count, T("tcnt")))
        return;
    if (count != static_cast<int>(tones.size())) {
        // Another tone count: the rest of the object is not read.
        complete = true;
        return;
    }
    for (GigaToneRecord& tone : tones) {
        if (!archive->ExchangeObject(&tone, giga::kToneArchive) || !tone.complete)
            return;
    }
    complete = true;
}

namespace {

// A complete player record applied away from the loader's passes; true when
// the player then has tones for the loader.
bool ApplyDeckRecord(GigaDeck& deck, const GigaDeckRecord& record)
{
    GigaApplyHold hold(deck);
    record.ApplyTo(deck);
    return QueueIfWaiting(deck);
}

}  // namespace

void GigaDeck::Archive(ArchiFile* archive)
{
    if (!archive)
        return;
    GigaDeckRecord record(GetToneCount());
    ExchangeRecord(archive, *this, record, [this](const GigaDeckRecord& loaded) { ApplyDeckRecord(*this, loaded); });
}

bool GigaDeck::LoadArchive(ArchiFile* archive)
{
    if (!archive || !archive->IsLoading())
        return false;
    GigaDeckRecord record(GetToneCount());
    if (!archive->ExchangeObject(&record, giga::kDeckArchive) || !record.complete)
        return false;
    return ApplyDeckRecord(*this, record);
}

bool GigaDeck::GetState(kiv::data& chunk) { return SaveRecord<GigaDeckRecord>(*this, giga::kDeckArchive, chunk); }

bool GigaDeck::SetStateFromArchive(const kiv::data& chunk)
{
    GigaDeckRecord record(GetToneCount());
    if (!LoadRecord(record, giga::kDeckArchive, chunk))
        return false;
    ApplyDeckRecord(*this, record);
    return true;
}

bool GigaDeck::SetState(const kiv::data& chunk)
{
    Print("GigaDeck::SetState(%d)", chunk.GetSize());
    if (IsRiff(chunk))
        return LoadNowIf(SetStateFromRiff(chunk));
    return LoadNowIf(IsArchive(chunk) && SetStateFromArchive(chunk));
}

bool GigaDeck::SaveFile(const char* path) { return SaveRecord<GigaDeckRecord>(*this, giga::kDeckArchive, path); }

// ---------------------------------------------------------------- studio

void GigaStudioRecord::From(GigaStudio& studio)
{
    players.clear();
    for (int i = 0; i < studio.GetPlayerCount(); ++i) {
        players.emplace_back();
        if (GigaDeck* deck = studio.GetDeck(i))
            players.back().From(*deck);
    }
    hasMixer = true;
    for (int c = 0; c < kOvMixerChannels; ++c) {
        GigaChannelRecord& ch = channels[c];
        ch.output = static_cast<int>(studio.GetMixerParam(c, kOvMixOutput));
        ch.level = studio.GetMixerParam(c, kOvMixLevel);
        ch.pan = studio.GetMixerParam(c, kOvMixPan);
        ch.leftPan = studio.GetMixerParam(c, kOvMixLeftPan);
        ch.rightPan = studio.GetMixerParam(c, kOvMixRightPan);
        for (int j = 0; j < 2; ++j) {
            ch.effectOn[j] = studio.IsEffectEnabled(c, j);
            ch.effect[j] = studio.GetEffect(c, j);
            ch.effectId[j] = ch.effect[j] ? ch.effect[j]->GetTypeId() : 0;
            ch.insertOn[j] = studio.IsEffectEnabled(c, kOvSlotInsert0 + j);
            OvInsert* insert = studio.GetInsert(c, j);
            ch.insertId[j] = insert ? 1 : 0;
            ch.insertName[j].Clear();
            ch.insertChunk[j].Free();
            ch.insertValues[j].clear();
            if (insert) {
                ch.insertName[j].Assign(insert->GetName());
                kiv::data borrowed;
                const int size = insert->GetChunk(borrowed);
                if (size > 0 && borrowed.GetBytes() && size <= borrowed.GetSize()) {
                    ch.insertChunk[j].Alloc(size);
                    std::memcpy(ch.insertChunk[j].GetBytes(), borrowed.GetBytes(), size);
                }
                ch.insertValues[j] = insert->GetParamValues();
            } else if (OvFailedInsert failed = studio.GetFailedInsert(c, j); !failed.name.IsEmpty()) {
                // Written back as it was loaded.
                ch.insertId[j] = 1;
                ch.insertName[j] = failed.name;
                ch.insertChunk[j] = failed.chunk;
                ch.insertValues[j] = failed.values;
            }
        }
    }
}

namespace {

// More parameters than any plug-in has: a stored block beyond is cut.
constexpr int kMaxInsertValues = 1 << 16;

// An insert's parameter values as one block of little-endian 32-bit floats
// (empty when it has none). Loading keeps the values of a whole number of
// floats as stored: one that is no parameter value (not a number, infinite,
// outside 0..1) is refused when applied, so the plug-in keeps its own, and
// a slot that fails to open writes it back unchanged.
bool ExchangeInsertValues(ArchiFile* archive, std::vector<float>& values)
{
    kiv::data block;
    if (!archive->IsLoading()) {
        const int count = static_cast<int>(std::min<size_t>(values.size(), static_cast<size_t>(kMaxInsertValues)));
        if (count > 0 && block.Alloc(4 * count)) {
            for (int i = 0; i < count; ++i) {
                uint32_t bits;
                std::memcpy(&bits, &values[i], 4);
                for (int b = 0; b < 4; ++b)
                    block.GetBytes()[4 * i + b] = static_cast<uint8_t>(bits >> (8 * b));
            }
        }
        return archive->ExchangeData(block, T("pval"));
    }
    values.clear();
    if (!archive->ExchangeData(block, T("pval")))
        return false;
    const int count = std::min(block.GetBytes() ? block.GetSize() / 4 : 0, kMaxInsertValues);
    for (int i = 0; i < count; ++i) {
        const uint8_t* in = block.GetBytes() + 4 * i;
        const uint32_t bits = in[0] | in[1] << 8 | in[2] << 16 | static_cast<uint32_t>(in[3]) << 24;
        float value;
        std::memcpy(&value, &bits, 4);
        values.push_back(value);
    }
    return true;
}

}  // namespace

void GigaStudioRecord::Archive(ArchiFile* archive)
{
    complete = false;
    if (!Version(archive, giga::kStudioVersion))
        return;
    const bool loading = archive->IsLoading();
    int count = static_cast<int>(players.size());
    if (!archive->ExchangeInt(count, T("nplr")))
        return;
    if (loading)
        hasMixer = false;
    if (count == 0) {
        complete = true;
        return;
    }
    if (count < 0 || count > giga::kMaxStoredCount)
        return;
    for (int i = 0; i < count; ++i) {
        if (i < static_cast<int>(players.size())) {
            if (!archive->ExchangeObject(&players[i], giga::kDeckArchive) || !players[i].complete)
                return;
        } else if (!archive->SkipObject(giga::kDeckArchive)) {
            return;  // a stored player beyond the studio's is passed over
        }
    }
    int tracks = kOvMixerChannels;
    if (!archive->ExchangeInt(tracks, T("ntrk")))
        return;
    if (tracks != kOvMixerChannels) {
        complete = true;  // another channel count: the mixer is not read
        return;
    }
    for (GigaChannelRecord& ch : channels) {
        bool ok = archive->ExchangeInt(ch.output, T("bout"));
        ok = ok && archive->ExchangeFloat(ch.level, T("levl"));
        ok = ok && archive->ExchangeFloat(ch.pan, T("pano"));
        int effects = 2;
        ok = ok && archive->ExchangeInt(effects, T("nefx"));
        if (!ok || effects < 0 || effects > giga::kMaxStoredCount)
            return;
        for (int j = 0; j < effects; ++j) {
            bool on = j < 2 && ch.effectOn[j];
            int id = j < 2 ? static_cast<int>(ch.effectId[j]) : 0;
            if (!archive->ExchangeBool(on, T("iefx")) || !archive->ExchangeInt(id, T("fxid")))
                return;
            if (!loading) {
                if (id != 0 && !archive->ExchangeObject(ch.effect[j], giga::kEffectObject))
                    return;
                continue;
            }
            const bool known = j < 2 && static_cast<uint32_t>(id) == SlotEffectType(j);
            if (j < 2) {
                ch.effectOn[j] = on;
                ch.effectId[j] = known ? static_cast<uint32_t>(id) : 0;
            }
            if (id == 0)
                continue;
            if (known) {
                ch.loaded[j] = MakeEffect(static_cast<uint32_t>(id));
                if (!archive->ExchangeObject(ch.loaded[j].get(), giga::kEffectObject))
                    return;
            } else if (!archive->SkipObject(giga::kEffectObject)) {
                return;  // an effect that does not belong in this slot
            }
        }
        int inserts = 2;
        if (!archive->ExchangeInt(inserts, T("nplg")) || inserts < 0 || inserts > giga::kMaxStoredCount)
            return;
        for (int j = 0; j < inserts; ++j) {
            bool on = j < 2 && ch.insertOn[j];
            int id = j < 2 ? ch.insertId[j] : 0;
            if (!archive->ExchangeBool(on, T("iplg")) || !archive->ExchangeInt(id, T("fxid")))
                return;
            kiv::string nameOther;
            kiv::data chunkOther;
            kiv::string& name = j < 2 ? ch.insertName[j] : nameOther;
            kiv::data& chunk = j < 2 ? ch.insertChunk[j] : chunkOther;
            if (loading && j < 2) {
                ch.insertOn[j] = on;
                ch.insertId[j] = id == 1 ? 1 : 0;
                name.Clear();
                chunk.Free();
            }
            if (id != 1)
                continue;
            int size = chunk.GetBytes() ? chunk.GetSize() : 0;
            if (!archive->ExchangeString(name, T("pnam")) || !archive->ExchangeInt(size, T("psiz")))
                return;
            if (size > 0 && !archive->ExchangeData(chunk, T("data")))
                return;
        }
    }
    hasMixer = true;
    // Later section: the pan positions.
    for (GigaChannelRecord& ch : channels) {
        archive->ExchangeFloat(ch.leftPan, T("panl"));
        archive->ExchangeFloat(ch.rightPan, T("panr"));
    }
    complete = true;
    // Later still, last of all so that older readers, which stop before,
    // pass it over: the parameter values of each hosted effect.
    for (GigaChannelRecord& ch : channels) {
        for (int j = 0; j < 2; ++j) {
            if (ch.insertId[j] == 1 && !ExchangeInsertValues(archive, ch.insertValues[j]))
                return;
        }
    }
}

void GigaStudioRecord::ApplyTo(GigaStudio& studio) const
{
    const int count = std::min(studio.GetPlayerCount(), static_cast<int>(players.size()));
    for (int i = 0; i < count; ++i) {
        GigaDeck* deck = studio.GetDeck(i);
        if (deck && players[i].complete)
            ApplyDeckRecord(*deck, players[i]);
    }
    if (!hasMixer)
        return;
    OvInsertFactory* factory = OvStudio::GetInsertFactory();
    for (int c = 0; c < kOvMixerChannels; ++c) {
        const GigaChannelRecord& ch = channels[c];
        studio.SetMixerParam(c, kOvMixOutput, static_cast<float>(ch.output));
        studio.SetMixerParam(c, kOvMixLevel, Finite(ch.level, 1.0f));
        studio.SetMixerParam(c, kOvMixPan, Finite(ch.pan, 0.0f));
        studio.SetMixerParam(c, kOvMixLeftPan, Finite(ch.leftPan, -1.0f));
        studio.SetMixerParam(c, kOvMixRightPan, Finite(ch.rightPan, 1.0f));
        for (int j = 0; j < 2; ++j) {
            if (ch.effectId[j] != 0 && ch.loaded[j]) {
                OvEffect* effect = studio.CreateEffect(c, j);
                for (uint32_t code : EffectCodes(ch.effectId[j]))
                    if (ch.loaded[j]->HasParam(code))
                        effect->SetParam(code, ch.loaded[j]->GetParam(code, 0.0f));
            }
            studio.SetEffectFlag(c, j, ch.effectOn[j]);
        }
        for (int j = 0; j < 2; ++j) {
            std::unique_ptr<OvInsert> insert;
            const bool named = ch.insertId[j] == 1 && !ch.insertName[j].IsEmpty();
            if (named && factory)
                insert = factory->OpenByName(ch.insertName[j].CStr());
            if (insert && ch.insertChunk[j].GetBytes() && ch.insertChunk[j].GetSize() > 0)
                insert->SetChunk(ch.insertChunk[j].GetBytes(), ch.insertChunk[j].GetSize());
            if (insert && !ch.insertValues[j].empty())
                insert->SetParamValues(ch.insertValues[j]);
            const bool failed = named && !insert;
            // A plug-in that is missing or fails to open leaves the slot
            // empty, showing what failed.
            studio.SetInsert(c, j, std::move(insert));
            if (failed)
                studio.SetFailedInsert(c, j, {ch.insertName[j], ch.insertChunk[j], ch.insertValues[j]});
            studio.SetEffectFlag(c, kOvSlotInsert0 + j, ch.insertOn[j]);
        }
    }
}

namespace {

// A record to load into: one player record per player, and the values an
// older archive may lack taken from the studio.
void PrepareLoad(GigaStudio& studio, GigaStudioRecord& record)
{
    record.players.clear();
    for (int i = 0; i < studio.GetPlayerCount(); ++i)
        record.players.emplace_back(studio.GetDeck(i) ? studio.GetDeck(i)->GetToneCount() : 0);
    for (int c = 0; c < kOvMixerChannels; ++c) {
        record.channels[c].leftPan = studio.GetMixerParam(c, kOvMixLeftPan);
        record.channels[c].rightPan = studio.GetMixerParam(c, kOvMixRightPan);
    }
}

void ApplyStudioRecord(GigaStudio& studio, const GigaStudioRecord& record)
{
    record.ApplyTo(studio);
    studio.NotifyMixerLoaded();
}

}  // namespace

void GigaStudio::Archive(ArchiFile* archive)
{
    if (!archive)
        return;
    GigaStudioRecord record;
    if (archive->IsLoading())
        PrepareLoad(*this, record);
    ExchangeRecord(archive, *this, record, [this](const GigaStudioRecord& loaded) { ApplyStudioRecord(*this, loaded); });
}

bool GigaStudio::GetState(kiv::data& chunk)
{
    Print("GigaStudio::GetState()");
    return SaveRecord<GigaStudioRecord>(*this, giga::kStudioArchive, chunk);
}

bool GigaStudio::SetStateFromArchive(const kiv::data& chunk)
{
    GigaStudioRecord record;
    PrepareLoad(*this, record);
    if (!LoadRecord(record, giga::kStudioArchive, chunk))
        return false;
    ApplyStudioRecord(*this, record);
    return true;
}

bool GigaStudio::SetState(const kiv::data& chunk)
{
    Print("GigaStudio::SetState(%d)", chunk.GetSize());
    if (IsRiff(chunk))
        return SetStateFromRiff(chunk);
    return LoadNowIf(IsArchive(chunk) && SetStateFromArchive(chunk));
}

bool GigaStudio::SaveFile(const char* path) { return SaveRecord<GigaStudioRecord>(*this, giga::kStudioArchive, path); }

bool GigaStudio::LoadFile(const char* path)
{
    if (!path)
        return false;
    Print("GigaStudio::LoadFile(%s)", path);
    GigaStudioRecord record;
    PrepareLoad(*this, record);
    if (!LoadRecord(record, giga::kStudioArchive, path))
        return false;
    ApplyStudioRecord(*this, record);
    return true;
}
