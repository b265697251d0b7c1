// The session's views of the engine: chunks a host would hold, read and
// written through the engine's own code in this process. Apart from the
// session's X side, whose Xlib names clash with the toolkit's.
#include <string>
#include <utility>
#include <vector>

#include "e2e/EditorSession.h"
#include "engine/GigaDeck.h"
#include "engine/GigaPart.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "kiv/data/Data.h"

namespace e2e {

std::string EditorSession::ChunkFor(const std::string& gig, int program, int units)
{
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    GigaDeck* deck = studio ? studio->GetDeck(0) : nullptr;
    for (int i = 0; i < units; ++i) {
        GigaTone* tone = deck ? deck->GetGigaTone(i) : nullptr;
        if (!tone || !tone->AddPart(gig.c_str(), program))
            return {};
    }
    kiv::data state;
    if (!studio || !studio->GetState(state) || !state.GetBytes())
        return {};
    return std::string(reinterpret_cast<const char*>(state.GetBytes()), static_cast<size_t>(state.GetSize()));
}

std::string EditorSession::ChunkOf(const std::vector<std::pair<std::string, int>>& units)
{
    std::vector<std::vector<std::pair<std::string, int>>> layers;
    for (const auto& unit : units)
        layers.push_back({unit});
    return ChunkOfLayers(layers);
}

std::string EditorSession::ChunkOfLayers(const std::vector<std::vector<std::pair<std::string, int>>>& units)
{
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    GigaDeck* deck = studio ? studio->GetDeck(0) : nullptr;
    for (size_t i = 0; i < units.size(); ++i) {
        GigaTone* tone = deck ? deck->GetGigaTone(static_cast<int>(i)) : nullptr;
        if (!tone)
            return {};
        for (const auto& [gig, program] : units[i])
            if (!tone->AddPart(gig.c_str(), program))
                return {};
    }
    kiv::data state;
    if (!studio || !studio->GetState(state) || !state.GetBytes())
        return {};
    return std::string(reinterpret_cast<const char*>(state.GetBytes()), static_cast<size_t>(state.GetSize()));
}

namespace {

// The instruments (".gig path:index") of every layer of each unit.
std::vector<std::vector<std::string>> LayersOf(GigaStudio* studio)
{
    std::vector<std::vector<std::string>> out;
    GigaDeck* deck = studio ? studio->GetDeck(0) : nullptr;
    for (int i = 0; deck && i < deck->GetToneCount(); ++i) {
        out.emplace_back();
        GigaTone* tone = deck->GetGigaTone(i);
        for (int p = 0; tone && p < tone->GetPartCount(); ++p)
            if (GigaPart* part = tone->GetPart(p))
                out.back().push_back(std::string(part->GetPath() ? part->GetPath() : "") + ":" +
                                     std::to_string(part->GetProgramIndex()));
    }
    return out;
}

}  // namespace

std::vector<std::vector<std::string>> EditorSession::PerformanceLayers(const std::string& path)
{
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    if (!studio || !studio->LoadFile(path.c_str()))
        return {};
    return LayersOf(studio.get());
}

std::unique_ptr<GigaStudio> EditorSession::Decode(const std::string& chunk)
{
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    std::string copy = chunk;
    kiv::data state(copy.data(), static_cast<int>(copy.size()));
    if (!studio || !studio->SetState(state))
        return nullptr;
    return studio;
}

std::vector<std::string> EditorSession::UnitPaths()
{
    std::vector<std::string> out;
    std::unique_ptr<GigaStudio> studio = Decode(Chunk());
    GigaDeck* deck = studio ? studio->GetDeck(0) : nullptr;
    for (int i = 0; deck && i < deck->GetToneCount(); ++i) {
        GigaTone* tone = deck->GetGigaTone(i);
        GigaPart* part = tone && tone->GetPartCount() > 0 ? tone->GetPart(0) : nullptr;
        out.push_back(part && part->GetPath() ? part->GetPath() : "");
    }
    return out;
}

std::vector<std::vector<std::string>> EditorSession::UnitLayers()
{
    std::unique_ptr<GigaStudio> studio = Decode(Chunk());
    return LayersOf(studio.get());
}

std::vector<int> EditorSession::UnitVolumes()
{
    std::vector<int> out;
    std::unique_ptr<GigaStudio> studio = Decode(Chunk());
    GigaDeck* deck = studio ? studio->GetDeck(0) : nullptr;
    for (int i = 0; deck && i < deck->GetToneCount(); ++i)
        out.push_back(deck->GetGigaTone(i) ? deck->GetGigaTone(i)->GetVolume() : -1);
    return out;
}

}  // namespace e2e
