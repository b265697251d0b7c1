#include "engine/GigaDeck.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "engine/GigaBankManager.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaTone.h"
#include "engine/GigaVoice.h"
#include "kiv/data/FourCC.h"

namespace {

constexpr int kScratchAlign = 16;
constexpr int kLoadingStepMs = 50;

}  // namespace

void GigaDeck::AlignedFree::operator()(float* p) const
{
    free(p);
}

GigaDeck::GigaDeck()
{
    size_t bytes = 2 * giga::kDeckScratchFloats * sizeof(float);
    m_scratch.reset(static_cast<float*>(aligned_alloc(kScratchAlign, bytes)));
    if (m_scratch)
        std::fill(m_scratch.get(), m_scratch.get() + 2 * giga::kDeckScratchFloats, 0.0f);
}

GigaDeck::~GigaDeck()
{
    if (GigaBankManager* manager = GigaBankManager::Get())
        manager->ForgetPlayer(this);
}

bool GigaDeck::OnInit()
{
    Print("GigaDeck::OnInit()");
    if (GigaPrefs* prefs = GigaPrefs::Get()) {
        prefs->LoadSettings();
        SetControllerMap(prefs->controllerMap);
    }
    for (int i = 0; i < giga::kDeckVoices; ++i)
        AddVoice(std::make_unique<GigaVoice>());
    for (int i = 0; i < giga::kDeckTones; ++i) {
        auto tone = std::make_unique<GigaTone>();
        tone->SetChannel(i);
        tone->SetBus(i);
        tone->SetIndex(i);
        tone->SetScratch(GetScratchLeft(), GetScratchRight());
        AddTone(std::move(tone));
    }
    Print("GigaDeck::OnInit() done");
    return m_scratch != nullptr;
}

GigaTone* GigaDeck::GetGigaTone(int index) const
{
    return static_cast<GigaTone*>(GetTone(index));
}

void GigaDeck::WaitIdle()
{
    // Passes, not the thread's end: another plug-in instance's streaming
    // program keeps the thread running for as long as it likes.
    if (GigaDiskThread* disk = GigaDiskThread::Get())
        disk->WaitPasses(giga::kLoaderDiskPasses);
}

void GigaDeck::PrintStats()
{
    int voices = giga::kDeckVoices - GetVoicePool().Count();
    if (voices > 0)
        printf("Voices: %d\r\n", voices);
    GigaDiskThread* disk = GigaDiskThread::Get();
    int streams = disk ? disk->ActiveStreams() : 0;
    if (streams > 0)
        printf("Streams: %d\r\n", streams);
    fflush(stdout);
}

bool GigaDeck::LoadTones(GigaBankManager& manager)
{
    int toLoad = 0;
    for (int i = 0; i < GetToneCount(); ++i)
        if (GetGigaTone(i)->GetState() == giga::kToneToLoad)
            ++toLoad;
    Print("toneToLoad=%d", toLoad);
    bool result = true;
    if (toLoad > 0) {
        OvStop();
        if (GigaDiskThread* disk = GigaDiskThread::Get())
            disk->WaitPasses(giga::kLoaderDiskPasses);
        int loaded = 0;
        for (int i = 0; i < GetToneCount(); ++i) {
            GigaTone* tone = GetGigaTone(i);
            if (tone->GetState() != giga::kToneToLoad)
                continue;
            if (tone->LoadParts(manager))
                ++loaded;
            else
                result = false;
        }
        Print("toneLoaded=%d", loaded);
        OvStart();
    }
    // Parts still missing from an earlier pass count as failed too.
    bool missing = false;
    for (int i = 0; i < GetToneCount() && !missing; ++i) {
        GigaTone* tone = GetGigaTone(i);
        for (int p = 0; p < tone->GetPartCount() && !missing; ++p)
            missing = tone->GetPart(p)->GetMissingPath() != nullptr;
    }
    SetLoading(false);
    XEvent event;
    event.kind = static_cast<int32_t>(fourcc("OvTL"));
    // 0 for any part that failed (missing, memory, malformed file): the
    // editor then offers the missing-files window when files are missing.
    event.a = result && !missing ? 1 : 0;
    event.b = 0;
    PostToEditor(event);
    return result;
}

bool GigaDeck::HasFailedTone() const
{
    for (int i = 0; i < GetToneCount(); ++i)
        if (GetGigaTone(i)->GetState() == giga::kToneFailed)
            return true;
    return false;
}

bool GigaDeck::IsModified() const
{
    for (int i = 0; i < GetToneCount(); ++i)
        if (GetGigaTone(i)->IsModified())
            return true;
    return false;
}

void GigaDeck::MarkRestored()
{
    // No pass may start between the state check and the mark.
    std::unique_lock<std::recursive_mutex> passes;
    if (GigaBankManager* manager = GigaBankManager::Get())
        passes = manager->HoldPasses();
    for (int i = 0; i < GetToneCount(); ++i) {
        GigaTone* tone = GetGigaTone(i);
        tone->SetModified(false);
        if (tone->GetState() == giga::kToneToLoad)
            tone->MarkRestored();
    }
}

void GigaDeck::ClearPerformance()
{
    bool emptied = false;
    GigaBankManager* manager = GigaBankManager::Get();
    // A pass of the loader thread may be loading these parts: it ends first.
    std::unique_lock<std::recursive_mutex> passes;
    if (manager)
        passes = manager->HoldPasses();
    for (int i = 0; i < GetToneCount(); ++i) {
        GigaTone* tone = GetGigaTone(i);
        tone->SetModified(false);
        // Every tone with parts is emptied, started or not, so a performance
        // loaded next never lands on top of old layers.
        if (tone->GetPartCount() > 0) {
            tone->Clear();
            // Emptying is no edit: the empty performance counts as saved
            // once the loader has removed the parts.
            tone->MarkRestored();
            emptied = true;
        } else if (tone->GetState() != giga::kToneNone) {
            tone->SetState(giga::kToneLoaded);
        }
    }
    if (passes)
        passes.unlock();
    if (emptied && manager) {
        manager->QueuePlayer(this);
        manager->StartLoading(false);
    }
    SetPath(nullptr);
}

bool GigaDeck::WaitWhileLoading()
{
    for (int i = 0; i < giga::kLoadingWaitSteps; ++i) {
        if (!IsLoading())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kLoadingStepMs));
    }
    return !IsLoading();
}
