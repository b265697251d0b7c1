// The session's views of the engine: chunks a host would hold, read and
// written through the engine's own code in this process. Apart from the
// session's X side, whose Xlib names clash with the toolkit's.
#include <string>

#include "e2e/EditorSession.h"
#include "engine/GigaDeck.h"
#include "engine/GigaPart.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "kiv/data/Data.h"

namespace e2e {

std::string EditorSession::ChunkFor(const std::string& gig, int program)
{
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    GigaDeck* deck = studio ? studio->GetDeck(0) : nullptr;
    GigaTone* tone = deck ? deck->GetGigaTone(0) : nullptr;
    kiv::data state;
    if (!tone || !tone->AddPart(gig.c_str(), program) || !studio->GetState(state) || !state.GetBytes())
        return {};
    return std::string(reinterpret_cast<const char*>(state.GetBytes()), static_cast<size_t>(state.GetSize()));
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

}  // namespace e2e
