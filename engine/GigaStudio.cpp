#include "engine/GigaStudio.h"

#include <atomic>

#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaTone.h"

namespace {

std::atomic<bool> g_firstStudioMade{false};

}  // namespace

GigaStudio::GigaStudio() = default;

GigaStudio::~GigaStudio()
{
    Print("GigaStudio::~GigaStudio()");
    DeletePlayers();
}

std::unique_ptr<GigaStudio> GigaStudio::Create()
{
    auto studio = std::make_unique<GigaStudio>();
    studio->AddPlayer(std::make_unique<GigaDeck>());
    studio->InitPlayers();
    if (!g_firstStudioMade.exchange(true, std::memory_order_acq_rel))
        if (OvInsertFactory* factory = GetInsertFactory())
            factory->OnFirstStudio();
    return studio;
}

GigaDeck* GigaStudio::GetDeck(int index) const
{
    // Every player of this studio is a GigaDeck (Create and the tests add
    // nothing else).
    return static_cast<GigaDeck*>(GetPlayer(index));
}

void GigaStudio::NotifyMixerLoaded()
{
    XEvent event;
    event.kind = static_cast<int32_t>(kOvEventMixer);
    event.a = 0;
    event.b = 0;
    PostToEditor(event);
}

void GigaStudio::RouteTonesToOutputs()
{
    GigaDeck* deck = GetDeck(0);
    if (!deck)
        return;
    for (int i = 0; i < deck->GetToneCount(); ++i) {
        const int bus = deck->GetGigaTone(i)->GetBus();
        if (bus >= 0 && bus < kOvMixerOutputs)
            SetMixerParam(bus, kOvMixOutput, static_cast<float>(bus));
    }
}

bool GigaStudio::SetStateFromRiff(const kiv::data& chunk)
{
    GigaDeck* deck = GetDeck(0);
    if (!deck || !deck->SetState(chunk))
        return false;
    RouteTonesToOutputs();
    return true;
}

bool GigaStudio::LoadV1Performance(const char* path)
{
    GigaDeck* deck = GetDeck(0);
    if (!deck || !deck->Load(path))
        return false;
    RouteTonesToOutputs();
    if (GigaBankManager* manager = GigaBankManager::Get())
        manager->QueuePlayer(deck);
    return true;
}
