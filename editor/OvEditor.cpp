#include "editor/OvEditor.h"

#include <cstring>

#include "editor/EditorConst.h"
#include "engine/OvPlayer.h"

namespace {
char g_identifier[editor::kIdentifierSize] = {};
}  // namespace

OvEditor::OvEditor() = default;

OvEditor::~OvEditor()
{
    if (m_engineAlive)
        DetachFromPlayers();
    // Children are deleted here, not by the control base, so that each
    // view still finds an OvEditor to ask whether its tone exists.
    while (XControl* child = GetFirstChild())
        delete child;
}

void OvEditor::CloseView()
{
    DetachFromPlayers();
    m_studio = nullptr;
    m_player = nullptr;
    m_engineAlive = false;
}

bool OvEditor::OpenPerformance(const char* path)
{
    (void)path;
    return false;
}

void OvEditor::OnPlayerSelected(OvPlayer* player) { (void)player; }

void OvEditor::SetStudio(OvStudio* studio)
{
    m_studio = studio;
    m_player = nullptr;
    if (!studio)
        return;
    // A studio without players has nothing to select: the editor's views
    // are never built for a null player.
    if (OvPlayer* first = studio->GetPlayerCount() > 0 ? studio->GetPlayer(0) : nullptr)
        SelectPlayer(first);
}

void OvEditor::SelectPlayer(OvPlayer* player)
{
    m_player = player;
    OnPlayerSelected(player);
}

int OvEditor::GetPlayerCount() const
{
    if (m_studio)
        return m_studio->GetPlayerCount();
    return m_player ? 1 : 0;
}

OvPlayer* OvEditor::GetPlayer(int index) const
{
    if (index < 0 || !m_studio)
        return m_player;
    if (index >= m_studio->GetPlayerCount())
        return nullptr;
    return m_studio->GetPlayer(index);
}

void OvEditor::DetachFromPlayers()
{
    auto detach = [this](OvPlayer* player) {
        if (player && player->GetEditor() == static_cast<OvEventTarget*>(this))
            player->SetEditor(nullptr);
    };
    if (m_studio) {
        for (int i = 0; i < m_studio->GetPlayerCount(); ++i)
            detach(m_studio->GetPlayer(i));
    } else {
        detach(m_player);
    }
}

void OvEditor::SetIdentifier(const char* text)
{
    if (!text) {
        g_identifier[0] = '\0';
        return;
    }
    // Bounded: an identifier longer than the buffer is cut, never overrun.
    std::strncpy(g_identifier, text, sizeof g_identifier - 1);
    g_identifier[sizeof g_identifier - 1] = '\0';
}

const char* OvEditor::GetIdentifier() { return g_identifier; }
