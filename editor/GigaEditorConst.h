// Constants of the editor's main window: its sizes and layout, the toolbar's
// pictures, the modal tags it dispatches by, and the performance dialogs.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace editor {

constexpr const char* kAppIdentifier = "com.quillane.tessivo";
constexpr const char* kWindowTitle = "Tessivo 2.1.2";
constexpr const char* kWindowIcon = "tessivo.ico";

constexpr int kEditorWidth = 864;
constexpr int kEditorHeight = 560;       // one player
constexpr int kEditorHeightPorts = 580;  // more players: the port tab bar too
constexpr int kMaxRacks = 8;

// Toolbar: ten buttons of 59 x 44 at y 3, the n-th at x = 56 n + 5.
constexpr int kToolbarHeight = 48;
constexpr int kToolButtonCount = 10;
constexpr int kToolButtonW = 59;
constexpr int kToolButtonH = 44;
constexpr int kToolButtonY = 3;
constexpr int kToolButtonStep = 56;
constexpr int kToolButtonX = 5;
enum ToolButton { kNew, kOpen, kSave, kSaveAs, kBrowse, kSearch, kMixer, kSettings, kExpand, kReset };
constexpr const char* kToolPictures[kToolButtonCount] = {
    "tb_new.png",    "tb_open.png",  "tb_save.png",     "tb_saveas.png", "tb_browse.png",
    "tb_search.png", "tb_mixer.png", "tb_settings.png", "tb_expand.png", "tb_reset.png"};

// Browser and search panes: the lower 296 pixels; the rack shrinks to 211.
constexpr int kPaneHeight = 296;
constexpr int kPortTabsY = 48;
constexpr int kPortTabsHeight = 20;
constexpr int kSeparatorY = -512;
constexpr int kRackY = -508;
constexpr int kRackHeight = 420;
constexpr int kRackShrunkHeight = 211;
constexpr int kKeyboardPaneY = -88;
constexpr int kKeyboardPaneHeight = 88;

// Modal tags and the loader's and studio's events.
constexpr uint32_t kTagNewConfirm = fourcc("NPrf");
constexpr uint32_t kTagOpenConfirm = fourcc("OPrf");
constexpr int32_t kEventViewsBuilt = 5;
constexpr int32_t kEventToneLoaded = static_cast<int32_t>(fourcc("OvTL"));
constexpr int32_t kEventMixerLoaded = static_cast<int32_t>(fourcc("mixr"));
constexpr int kCodeSelectUnit = static_cast<int>(fourcc("OvVs"));
constexpr int kCodeKeyboard = static_cast<int>(fourcc("keyb"));

// A button press passes none of the dialog results to the new and open flows.
constexpr int kFlowAsk = 2;

}  // namespace editor
