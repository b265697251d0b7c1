#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <utility>

#include "engine/GigaArchive.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "engine/OvEffect.h"
#include "GigaLoaderTestBanks.h"
#include "kiv/file/Riff.h"
#include "support/TestSupport.h"

namespace {

// The process-wide objects in library-load order, a bank and a studio.
struct Env {
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    kivtest::TempDir dir;
    std::string bank;
    std::unique_ptr<GigaStudio> studio;

    Env()
    {
        bank = dir.File("Strings.gig");
        EXPECT_TRUE(loadertest::WriteBank(bank, 3, 2, 2000));
        studio = GigaStudio::Create();
    }
    ~Env() { Empty(*studio); }
    static void Empty(GigaStudio& s)
    {
        GigaDeck* deck = s.GetDeck(0);
        for (int i = 0; i < deck->GetToneCount(); ++i)
            deck->GetGigaTone(i)->Clear();
        if (GigaBankManager* m = GigaBankManager::Get()) {
            m->QueuePlayer(deck);
            m->RunNow(false);
        }
    }
    GigaTone* tone(int i) { return studio->GetDeck(0)->GetGigaTone(i); }
    std::string State(GigaStudio& s)
    {
        kiv::data chunk;
        EXPECT_TRUE(s.GetState(chunk));
        return std::string(reinterpret_cast<char*>(chunk.GetBytes()), chunk.GetSize());
    }
};

// fourcc for a tag held in a variable.
uint32_t Tag(const char* t)
{
    return (static_cast<uint32_t>(t[0]) << 24) | (static_cast<uint32_t>(t[1]) << 16) |
           (static_cast<uint32_t>(t[2]) << 8) | static_cast<uint32_t>(t[3]);
}

kiv::data Bytes(const std::string& bytes)
{
    kiv::data d;
    if (d.Alloc(static_cast<int>(bytes.size())))
        memcpy(d.GetBytes(), bytes.data(), bytes.size());
    return d;
}

// An archive written by hand, for forms this build never writes.
struct Handmade : Archivable {
    std::function<void(ArchiFile*)> body;
    void Archive(ArchiFile* a) override { body(a); }
};

std::string Save(uint32_t type, std::function<void(ArchiFile*)> body)
{
    Handmade h;
    h.body = std::move(body);
    kiv::data block;
    ArchiSave saver;
    EXPECT_TRUE(saver.SaveMemory(&h, type, block));
    return std::string(reinterpret_cast<char*>(block.GetBytes()), block.GetSize());
}

void Ints(CRiffWriter& w, const char* id, std::initializer_list<int> values)
{
    w.OpenChunk(id);
    for (int v : values)
        w.WriteInt(v);
    w.CloseChunk();
}

// A tone of the older form in its "RIFF" 'tone' wrapper.
void RiffTone(CRiffWriter& w, int index, const std::function<void(CRiffWriter&)>& chunks)
{
    w.OpenChunk("RIFF", "tone");
    Ints(w, "indx", {index});
    Ints(w, "type", {0x67696761});
    w.OpenChunk("RIFF", "ovtn");
    chunks(w);
    w.CloseChunk();
    w.CloseChunk();
}

std::string RiffFile(const std::string& path, const std::function<void(CRiffWriter&)>& tones)
{
    CRiffWriter w;
    EXPECT_TRUE(w.OpenWrite(path.c_str()));
    w.OpenChunk("RIFF", "OvGm");
    w.OpenChunk("LIST", "tone");
    tones(w);
    w.CloseChunk();
    w.CloseChunk();
    EXPECT_TRUE(w.Close());
    return kivtest::ReadFile(path);
}

// One test tone: two parts of the bank with settings everywhere.
void FillTone(GigaTone* tone, const std::string& bank)
{
    tone->SetChannel(3);
    tone->SetBus(4);
    tone->SetVolume(100);
    tone->SetPan(20);
    tone->SetCoarseTune(-2);
    tone->SetFineTune(-30);
    tone->SetName("Layered strings");
    GigaPart* a = tone->AddPart(bank.c_str(), 1);
    a->keyLow = 40;
    a->keyHigh = 70;
    a->keyOffset = -12;
    a->level = 99;
    a->pan = 10;
    a->tuning = 7;
    a->bend = 5;
    a->mute = true;
    a->bus = 6;
    a->filterUse = 1;
    for (int i = 0; i < 6; ++i) {
        a->ampSettings[i] = 0.5f + i;
        a->filterSettings[i] = -1.25f * i;
    }
    tone->AddPart(bank.c_str(), 2);
    tone->SetStackMode(130);
}

}  // namespace

TEST(GigaPersist, StateChunkRoundTripRestoresTonesAndMixerAndHasLoadedOnReturn)
{
    Env env;
    FillTone(env.tone(0), env.bank);
    GigaStudio& a = *env.studio;
    a.SetMixerParam(4, kOvMixOutput, 2.0f);
    a.SetMixerParam(4, kOvMixLevel, 0.7f);
    a.SetMixerParam(4, kOvMixPan, -0.25f);
    a.SetMixerParam(4, kOvMixLeftPan, -0.5f);
    a.SetMixerParam(4, kOvMixRightPan, 0.5f);
    a.EnableEffect(4, kOvSlotComp, true);
    a.SetMixerParam(4, kOvMixCompThreshold, -20.0f);
    a.CreateEffect(4, kOvSlotEQ);
    a.SetMixerParam(4, kOvMixEQLow, 4.0f);
    env.manager.QueuePlayer(a.GetDeck(0));
    env.manager.RunNow(false);  // the loader fills in ranges and bends
    const std::string saved = env.State(a);
    // Magic 'kiva' and type 'gstd' stand reversed, then the reserved word.
    ASSERT_GT(saved.size(), 12u);
    EXPECT_EQ(saved.substr(0, 12), std::string("avikdtsg\0\0\0\0", 12));

    auto b = GigaStudio::Create();
    ASSERT_TRUE(b->SetState(Bytes(saved)));
    GigaTone* t = b->GetDeck(0)->GetGigaTone(0);
    EXPECT_EQ(t->GetState(), giga::kToneLoaded);  // loaded before SetState returned
    EXPECT_EQ(t->GetChannel(), 3);
    EXPECT_EQ(t->GetBus(), 4);
    EXPECT_EQ(t->GetVolume(), 100);
    EXPECT_EQ(t->GetPan(), 20);
    EXPECT_EQ(t->GetCoarseTune(), -2);
    EXPECT_EQ(t->GetFineTune(), -30);
    EXPECT_STREQ(t->GetName(), "Layered strings");
    EXPECT_EQ(t->GetStackMode(), 130);
    EXPECT_TRUE(t->IsStacked());
    ASSERT_EQ(t->GetPartCount(), 2);
    GigaPart* p = t->GetPart(0);
    EXPECT_STREQ(p->GetPath(), env.bank.c_str());
    EXPECT_EQ(p->GetProgramIndex(), 1);
    EXPECT_NE(p->GetProgram(), nullptr);
    EXPECT_EQ(p->keyLow, 40);
    EXPECT_EQ(p->keyHigh, 70);
    EXPECT_EQ(p->keyOffset, -12);
    EXPECT_EQ(p->level, 99);
    EXPECT_EQ(p->bend, 5);
    EXPECT_TRUE(p->mute);
    EXPECT_EQ(p->bus, 6);
    EXPECT_EQ(p->filterUse, 1);
    EXPECT_FLOAT_EQ(p->ampSettings[GigaPart::kRelease], 5.5f);
    EXPECT_FLOAT_EQ(p->filterSettings[GigaPart::kSustain], -5.0f);
    EXPECT_EQ(t->GetPart(1)->GetProgramIndex(), 2);

    EXPECT_EQ(b->GetMixerParam(4, kOvMixOutput), 2.0f);
    EXPECT_FLOAT_EQ(b->GetMixerParam(4, kOvMixLevel), 0.7f);
    EXPECT_FLOAT_EQ(b->GetMixerParam(4, kOvMixPan), -0.25f);
    EXPECT_FLOAT_EQ(b->GetMixerParam(4, kOvMixLeftPan), -0.5f);
    EXPECT_FLOAT_EQ(b->GetMixerParam(4, kOvMixRightPan), 0.5f);
    EXPECT_TRUE(b->IsEffectEnabled(4, kOvSlotComp));
    EXPECT_FLOAT_EQ(b->GetMixerParam(4, kOvMixCompThreshold), -20.0f);
    EXPECT_FALSE(b->IsEffectEnabled(4, kOvSlotEQ));
    EXPECT_FLOAT_EQ(b->GetMixerParam(4, kOvMixEQLow), 4.0f);
    EXPECT_EQ(b->GetEffect(5, kOvSlotComp), nullptr);

    EXPECT_TRUE(env.State(*b) == saved);  // saving again gives the same bytes
    Env::Empty(*b);
}

TEST(GigaPersist, MalformedOrTruncatedChunksFailAndKeepWhatWasLoaded)
{
    Env env;
    FillTone(env.tone(0), env.bank);
    env.studio->SetMixerParam(1, kOvMixOutput, 3.0f);
    env.manager.QueuePlayer(env.studio->GetDeck(0));
    env.manager.RunNow(false);
    const std::string before = env.State(*env.studio);

    auto other = GigaStudio::Create();
    other->GetDeck(0)->GetGigaTone(5)->AddPart(env.bank.c_str(), 0);
    other->SetMixerParam(9, kOvMixLevel, 0.1f);
    const std::string good = env.State(*other);

    for (size_t cut = 0; cut + 4 < good.size(); cut += 3) {
        SCOPED_TRACE(cut);
        EXPECT_FALSE(env.studio->SetState(Bytes(good.substr(0, cut))));
    }
    std::string flipped = good;
    flipped[32] = static_cast<char>(0xFF);  // a header that claims far too much
    EXPECT_FALSE(env.studio->SetState(Bytes(flipped)));
    EXPECT_FALSE(env.studio->SetState(Bytes("RIFX1234garbage")));
    EXPECT_FALSE(env.studio->SetState(Bytes(std::string("RIFF\x10\0\0\0Ov\x01m", 12))));
    EXPECT_FALSE(env.studio->SetState(Bytes(std::string("avik\0\0\0\0", 8))));
    EXPECT_FALSE(env.studio->SetState(kiv::data()));
    EXPECT_TRUE(env.State(*env.studio) == before);
    EXPECT_EQ(env.tone(0)->GetState(), giga::kToneLoaded);
    Env::Empty(*other);
}

TEST(GigaPersist, OlderRiffChunkRoutesChannelsAndReadsEveryToneForm)
{
    Env env;
    env.tone(9)->AddPart(env.bank.c_str(), 0);  // named nowhere: emptied
    const std::string path = env.dir.File("old.tvp");
    const std::string bytes = RiffFile(path, [&](CRiffWriter& w) {
        RiffTone(w, 2, [&](CRiffWriter& t) {
            t.OpenChunk("name");
            t.WriteString("Choir");
            t.CloseChunk();
            Ints(t, "stak", {133, 30});
            Ints(t, "midi", {7});
            Ints(t, "outb", {5});
            Ints(t, "para", {110, 40, -150});
            t.OpenChunk("part");
            t.OpenChunk("bank");
            t.WriteString(env.bank.c_str());
            t.CloseChunk();
            Ints(t, "prog", {1});
            Ints(t, "stak", {36, 60, 2});
            Ints(t, "para", {80, 70, 3});
            Ints(t, "bend", {12});
            t.OpenChunk("vcau");
            for (int i = 0; i < 6; ++i)
                t.WriteFloat(0.25f * i);
            t.CloseChunk();
            t.CloseChunk();
        });
        // An old file: bank and program straight in the tone, an output bus
        // beyond the mixer.
        RiffTone(w, 4, [&](CRiffWriter& t) {
            Ints(t, "outb", {20});
            t.OpenChunk("bank");
            t.WriteString(env.bank.c_str());
            t.CloseChunk();
            Ints(t, "prog", {2});
            Ints(t, "bend", {3});
            t.OpenChunk("vcfu");
            for (int i = 0; i < 6; ++i)
                t.WriteFloat(1.0f);
            t.WriteInt(1);
            t.CloseChunk();
        });
        RiffTone(w, 30, [&](CRiffWriter& t) { Ints(t, "midi", {1}); });  // no such tone
    });
    ASSERT_TRUE(env.studio->SetState(Bytes(bytes)));

    GigaTone* choir = env.tone(2);
    EXPECT_EQ(choir->GetState(), giga::kToneLoaded);
    EXPECT_STREQ(choir->GetName(), "Choir");
    EXPECT_EQ(choir->GetChannel(), 7);
    EXPECT_EQ(choir->GetBus(), 5);
    EXPECT_EQ(choir->GetVolume(), 110);
    EXPECT_EQ(choir->GetCoarseTune(), -1);
    EXPECT_EQ(choir->GetFineTune(), -50);
    EXPECT_EQ(choir->GetStackMode(), 133);
    ASSERT_EQ(choir->GetPartCount(), 1);
    EXPECT_EQ(choir->GetPart(0)->keyOffset, 2);
    EXPECT_EQ(choir->GetPart(0)->bend, 12);
    EXPECT_FLOAT_EQ(choir->GetPart(0)->ampSettings[GigaPart::kRelease], 1.25f);
    EXPECT_EQ(env.studio->GetMixerParam(5, kOvMixOutput), 5.0f);

    GigaTone* old = env.tone(4);
    EXPECT_EQ(old->GetBus(), 0);
    ASSERT_EQ(old->GetPartCount(), 1);
    EXPECT_EQ(old->GetPart(0)->GetProgramIndex(), 2);
    EXPECT_EQ(old->GetPart(0)->bend, 3);
    EXPECT_EQ(old->GetPart(0)->filterUse, 1);
    EXPECT_EQ(old->GetState(), giga::kToneLoaded);
    EXPECT_EQ(env.tone(9)->GetPartCount(), 0);
    EXPECT_EQ(env.tone(1)->GetChannel(), 1);  // untouched tones keep their channel
    EXPECT_EQ(env.studio->GetDeck(0)->IsLoading(), false);

    // The same file as a ".tvp" performance keeps the path; a malformed copy
    // fails and changes nothing.
    ASSERT_TRUE(env.studio->LoadV1Performance(path.c_str()));
    EXPECT_STREQ(env.studio->GetDeck(0)->GetPath(), path.c_str());
    env.manager.RunNow(false);
    const std::string before = env.State(*env.studio);
    std::string broken = bytes;
    broken[bytes.find("outb") + 2] = '\x01';  // a malformed chunk id
    const std::string bad = env.dir.File("bad.tvp");
    ASSERT_TRUE(kivtest::WriteFile(bad, broken.data(), broken.size()));
    size_t cut = bytes.size() - 9;
    const std::string shortFile = env.dir.File("short.tvp");
    ASSERT_TRUE(kivtest::WriteFile(shortFile, bytes.data(), cut));
    for (const std::string& file : {bad, shortFile}) {
        EXPECT_FALSE(env.studio->LoadV1Performance(file.c_str())) << file;
        EXPECT_FALSE(env.studio->SetState(Bytes(kivtest::ReadFile(file)))) << file;
    }
    EXPECT_TRUE(env.State(*env.studio) == before);
}

TEST(GigaPersist, OlderFormWrittenByThePlayerReadsBack)
{
    Env env;
    FillTone(env.tone(6), env.bank);
    GigaDeck* deck = env.studio->GetDeck(0);
    env.tone(6)->SetModified(true);
    const std::string path = env.dir.File("saved.tvp");
    // A temporary file left by a save that died an hour ago goes with this
    // save; the user's own copies, however named, stay.
    const std::pair<std::string, bool> old[] = {
        {".saved.tvp.kivtmp-k3Jd9Q", false}, {"saved.tvp.backup", true}, {"saved.tvp.old001", true},
        {".saved.tvp.backup", true},         {"saved.tvp.k3Jd9Q", true}, {".saved.tvp.k3Jd9Q", true}};
    for (const auto& [name, kept] : old) {
        const std::string file = env.dir.File(name);
        ASSERT_TRUE(kivtest::WriteFile(file, "x", 1));
        struct timespec times[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    }
    ASSERT_TRUE(deck->SaveRiff(path.c_str()));
    for (const auto& [name, kept] : old)
        EXPECT_EQ(access(env.dir.File(name).c_str(), F_OK) == 0, kept) << name;
    EXPECT_FALSE(env.tone(6)->IsModified());
    EXPECT_EQ(kivtest::ReadFile(path).substr(8, 8), "OvGmLIST");

    auto b = GigaStudio::Create();
    ASSERT_TRUE(b->LoadV1Performance(path.c_str()));
    env.manager.RunNow(false);
    GigaTone* t = b->GetDeck(0)->GetGigaTone(6);
    EXPECT_STREQ(t->GetName(), "Layered strings");
    EXPECT_EQ(t->GetChannel(), 3);
    EXPECT_EQ(t->GetBus(), 4);
    EXPECT_EQ(t->GetCoarseTune() * 100 + t->GetFineTune(), -230);
    ASSERT_EQ(t->GetPartCount(), 2);
    EXPECT_EQ(t->GetPart(0)->keyHigh, 70);
    EXPECT_FLOAT_EQ(t->GetPart(0)->filterSettings[GigaPart::kDecay], -3.75f);
    EXPECT_EQ(t->GetState(), giga::kToneLoaded);
    EXPECT_EQ(b->GetMixerParam(4, kOvMixOutput), 4.0f);
    Env::Empty(*b);
}

TEST(GigaPersist, PresetKeepsTheToneChannelAndAFailedPresetKeepsTheParts)
{
    Env env;
    FillTone(env.tone(0), env.bank);
    const std::string path = env.dir.File("Warm Pad.tvpreset");
    ASSERT_TRUE(env.tone(0)->SavePreset(path.c_str()));
    EXPECT_EQ(kivtest::ReadFile(path).substr(0, 8), "avikenot");

    GigaTone* target = env.tone(5);
    ASSERT_EQ(target->GetChannel(), 5);
    target->AddPart(env.bank.c_str(), 0);
    target->AddPart(env.bank.c_str(), 0);
    target->AddPart(env.bank.c_str(), 0);
    ASSERT_TRUE(target->LoadPreset(path.c_str()));
    EXPECT_EQ(target->GetChannel(), 5);
    EXPECT_STREQ(target->GetName(), "Warm Pad");
    EXPECT_EQ(target->GetState(), giga::kToneToLoad);
    env.manager.QueuePlayer(env.studio->GetDeck(0));
    env.manager.RunNow(false);
    ASSERT_EQ(target->GetPartCount(), 2);  // the old third part went with the load
    EXPECT_EQ(target->GetPart(0)->keyLow, 40);

    const std::string junk = env.dir.File("junk.tvpreset");
    ASSERT_TRUE(kivtest::WriteFile(junk, "avikenot\0\0\0\0\x01", 13));
    EXPECT_FALSE(target->LoadPreset(junk.c_str()));
    EXPECT_FALSE(target->LoadPreset(env.dir.File("missing.tvpreset").c_str()));
    EXPECT_FALSE(target->LoadPreset(env.bank.c_str()));
    EXPECT_EQ(target->GetPartCount(), 2);
    EXPECT_EQ(target->GetState(), giga::kToneLoaded);
}

namespace {

// The values every stored form of a part holds, from its program count to
// its filter envelope: one program of `bank`, everything else zero.
void WritePartValues(ArchiFile* a, kiv::string& bank)
{
    int v;
    a->ExchangeInt(v = 1, fourcc("prts"));
    a->ExchangeString(bank, fourcc("path"));
    for (const char* tag : {"indx", "lkey", "hkey", "ofst", "levl", "pano", "tuno", "bend"})
        a->ExchangeInt(v = 0, Tag(tag));
    float f = 0.0f;
    for (const char* tag : {"alev", "avel", "atak", "adcy", "astn", "arls", "flev", "fvel", "ftak", "fdcy", "fstn",
                            "frls"})
        a->ExchangeFloat(f, Tag(tag));
}

}  // namespace

TEST(GigaPersist, ArchivesWithoutLaterSectionsKeepDefaults)
{
    Env env;
    // A tone written before the split tuning and the part's mute and bus
    // existed: total tune -150, a part without 'uflt', 'mute' and 'buso'.
    const std::string old = Save(giga::kToneArchive, [&](ArchiFile* a) {
        a->ExchangeVersion(1, 1, 1);
        int v;
        kiv::string name("Old");
        kiv::string bank(env.bank.c_str());
        for (auto [tag, value] : {std::pair{"midi", 9}, {"abus", 2}, {"levl", 64}, {"pano", 64}, {"tuno", -150},
                                  {"mute", 0}, {"solo", 0}})
            a->ExchangeInt(v = value, Tag(tag));
        a->ExchangeString(name, fourcc("snam"));
        a->ExchangeInt(v = 0, fourcc("ctrl"));
        a->ExchangeInt(v = 0, fourcc("loks"));
        a->ExchangeInt(v = 1, fourcc("pcnt"));
        a->BeginObject(fourcc("part"));
        a->ExchangeVersion(10, 10, 10);
        WritePartValues(a, bank);
        a->EndObject(fourcc("part"));
    });
    GigaTone* tone = env.tone(0);
    GigaPart* before = tone->AddPart(env.bank.c_str(), 1);
    before->mute = true;
    before->bus = 9;
    ArchiLoad loader;
    ASSERT_TRUE(loader.LoadMemory(tone, giga::kToneArchive, Bytes(old)));
    EXPECT_EQ(tone->GetChannel(), 9);
    EXPECT_EQ(tone->GetCoarseTune(), -1);
    EXPECT_EQ(tone->GetFineTune(), -50);
    ASSERT_GE(tone->GetPartCount(), 1);
    EXPECT_EQ(tone->GetPart(0)->GetProgramIndex(), 0);
    EXPECT_FALSE(tone->GetPart(0)->mute);
    EXPECT_EQ(tone->GetPart(0)->bus, 0);

    // Hostile values in a current archive stay within their ranges.
    const std::string hostile = Save(giga::kToneArchive, [&](ArchiFile* a) {
        a->ExchangeVersion(2, 1, 1);
        int v;
        kiv::string name;
        kiv::string bank(env.bank.c_str());
        for (auto [tag, value] : {std::pair{"midi", 400}, {"abus", -7}, {"levl", 9999}, {"pano", -3},
                                  {"tuno", 0}, {"mute", 0}, {"solo", 0}})
            a->ExchangeInt(v = value, Tag(tag));
        a->ExchangeString(name, fourcc("snam"));
        a->ExchangeInt(v = 133, fourcc("ctrl"));
        a->ExchangeInt(v = 100000, fourcc("loks"));
        a->ExchangeInt(v = 1, fourcc("pcnt"));
        // A part whose bus offset would overflow the voice's bus sum.
        a->BeginObject(fourcc("part"));
        a->ExchangeVersion(21, 20, 10);
        WritePartValues(a, bank);
        a->ExchangeInt(v = 1, fourcc("uflt"));
        bool muted = false;
        a->ExchangeBool(muted, fourcc("mute"));
        a->ExchangeInt(v = 0x7fffffff, fourcc("buso"));
        a->EndObject(fourcc("part"));
        a->ExchangeInt(v = 5000, fourcc("tuno"));
        a->ExchangeInt(v = -900, fourcc("tuno"));
    });
    ASSERT_TRUE(loader.LoadMemory(tone, giga::kToneArchive, Bytes(hostile)));
    EXPECT_EQ(tone->GetChannel(), 15);
    EXPECT_EQ(tone->GetBus(), 0);
    EXPECT_EQ(tone->GetVolume(), 127);
    EXPECT_EQ(tone->GetPan(), 0);
    EXPECT_EQ(tone->GetKeySwitchLow(), 127);
    EXPECT_EQ(tone->GetFineTune(), 99);
    EXPECT_EQ(tone->GetCoarseTune(), -127);
    ASSERT_EQ(tone->GetPartCount(), 1);
    EXPECT_EQ(tone->GetPart(0)->bus, 0);
    EXPECT_EQ(tone->GetPart(0)->filterUse, 1);
}

namespace {

class NamedInsert : public OvInsert {
public:
    explicit NamedInsert(std::string name) : m_name(std::move(name)) {}
    void Process(float*, float*, int) noexcept override {}
    const char* GetName() const override { return m_name.c_str(); }
    int GetChunk(kiv::data& chunk) override
    {
        chunk.Borrow(m_state.data(), static_cast<int>(m_state.size()));
        return static_cast<int>(m_state.size());
    }
    void SetChunk(const void* bytes, int size) override
    {
        m_state.assign(static_cast<const char*>(bytes), static_cast<size_t>(size));
    }
    void SetSampleRate(int) override {}
    void SetBlockSize(int) override {}
    void CloseView() override {}
    std::string m_state = "state-of-the-plugin";

private:
    std::string m_name;
};

class ListFactory : public OvInsertFactory {
public:
    std::unique_ptr<OvInsert> Open(PlugInfo*) override { return nullptr; }
    std::unique_ptr<OvInsert> OpenByName(const char* name) override
    {
        if (std::string(name) == "Missing")
            return nullptr;
        auto insert = std::make_unique<NamedInsert>(name);
        insert->m_state.clear();
        return insert;
    }
};

}  // namespace

TEST(GigaPersist, InsertsAndEffectsOfTheMixerRestoreOrArePassedOver)
{
    Env env;
    ListFactory factory;
    OvStudio::SetInsertFactory(&factory);
    GigaStudio& a = *env.studio;
    a.SetInsert(3, 0, std::make_unique<NamedInsert>("Reverb"));
    a.EnableEffect(3, kOvSlotInsert0, true);
    a.SetInsert(3, 1, std::make_unique<NamedInsert>("Missing"));
    a.EnableEffect(3, kOvSlotInsert1, true);
    const std::string saved = env.State(a);

    auto b = GigaStudio::Create();
    ASSERT_TRUE(b->SetState(Bytes(saved)));
    auto* restored = static_cast<NamedInsert*>(b->GetInsert(3, 0));
    ASSERT_NE(restored, nullptr);
    EXPECT_STREQ(restored->GetName(), "Reverb");
    EXPECT_EQ(restored->m_state, "state-of-the-plugin");
    EXPECT_TRUE(b->IsEffectEnabled(3, kOvSlotInsert0));
    EXPECT_EQ(b->GetInsert(3, 1), nullptr);  // not in the list: the slot stays empty
    OvStudio::SetInsertFactory(nullptr);

    // A studio archive with two stored players, an equaliser where the
    // compressor belongs and a third effect slot: the extras are passed over.
    GigaDeck* deck = a.GetDeck(0);
    const std::string odd = Save(giga::kStudioArchive, [&](ArchiFile* ar) {
        ar->ExchangeVersion(2, 1, 1);
        int v;
        bool on = true;
        ar->ExchangeInt(v = 2, fourcc("nplr"));
        ar->ExchangeObject(deck, giga::kDeckArchive);
        ar->ExchangeObject(deck, giga::kDeckArchive);
        ar->ExchangeInt(v = 16, fourcc("ntrk"));
        OvEffectEQ3 eq;
        eq.SetParam(ovfx::kLowGain, 9.0f);
        OvEffectComp comp;
        comp.SetParam(ovfx::kRatio, 3.0f);
        for (int c = 0; c < 16; ++c) {
            float level = 0.5f, pan = 0.0f;
            ar->ExchangeInt(v = c == 1 ? 7 : 0, fourcc("bout"));
            ar->ExchangeFloat(level, fourcc("levl"));
            ar->ExchangeFloat(pan, fourcc("pano"));
            ar->ExchangeInt(v = 3, fourcc("nefx"));
            ar->ExchangeBool(on, fourcc("iefx"));
            ar->ExchangeInt(v = static_cast<int>(ovfx::kEQ3Id), fourcc("fxid"));
            ar->ExchangeObject(&eq, giga::kEffectObject);
            ar->ExchangeBool(on, fourcc("iefx"));
            ar->ExchangeInt(v = static_cast<int>(ovfx::kEQ3Id), fourcc("fxid"));
            ar->ExchangeObject(&eq, giga::kEffectObject);
            ar->ExchangeBool(on, fourcc("iefx"));
            ar->ExchangeInt(v = static_cast<int>(ovfx::kCompId), fourcc("fxid"));
            ar->ExchangeObject(&comp, giga::kEffectObject);
            ar->ExchangeInt(v = 0, fourcc("nplg"));
        }
    });
    auto c = GigaStudio::Create();
    ASSERT_TRUE(c->SetState(Bytes(odd)));
    EXPECT_EQ(c->GetMixerParam(1, kOvMixOutput), 7.0f);
    EXPECT_FLOAT_EQ(c->GetMixerParam(1, kOvMixLevel), 0.5f);
    EXPECT_EQ(c->GetEffect(1, kOvSlotComp), nullptr);  // the equaliser had no place there
    EXPECT_TRUE(c->IsEffectEnabled(1, kOvSlotComp));
    EXPECT_FLOAT_EQ(c->GetMixerParam(1, kOvMixEQLow), 9.0f);
    EXPECT_FLOAT_EQ(c->GetMixerParam(1, kOvMixCompRatio), 1.0f);
    EXPECT_FLOAT_EQ(c->GetMixerParam(1, kOvMixLeftPan), -1.0f);  // no later section: kept
    Env::Empty(*b);
}

TEST(GigaPersist, PlayerStateChunkQueuesAndLoadsAndRefusesOtherForms)
{
    Env env;
    GigaDeck* deck = env.studio->GetDeck(0);
    FillTone(env.tone(1), env.bank);
    kiv::data chunk;
    ASSERT_TRUE(deck->GetState(chunk));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(chunk.GetBytes()), 8), "avikkcdg");

    auto b = GigaStudio::Create();
    GigaDeck* other = b->GetDeck(0);
    ASSERT_TRUE(other->SetState(chunk));
    EXPECT_EQ(other->GetGigaTone(1)->GetState(), giga::kToneLoaded);
    EXPECT_FALSE(other->IsLoading());
    EXPECT_FALSE(other->SetState(Bytes("not a chunk")));

    const std::string file = env.dir.File("deck.gdck");
    ASSERT_TRUE(deck->SaveFile(file.c_str()));
    EXPECT_EQ(kivtest::ReadFile(file), std::string(reinterpret_cast<char*>(chunk.GetBytes()), chunk.GetSize()));
    Env::Empty(*b);
}
