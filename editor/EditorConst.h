// Constants of the editor's own controls and dialogs: notification codes,
// text sizes and the fixed texts and addresses they show.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace editor {

// Notification codes the editor's controls send through XControl::Notify.
constexpr int kCodeBrowse = static_cast<int>(fourcc("brow"));    // name box double-clicked
constexpr int kCodeSetValue = static_cast<int>(fourcc("setv"));  // XSetValue arrow pressed
constexpr int kCodeMidiPort = static_cast<int>(fourcc("midi"));  // a port LED flipped

// Modal dialog results.
constexpr int kResultYes = 1;
constexpr int kResultNo = 0;
constexpr int kResultCancel = -1;

// The modal tags of the notices a failed save and a failed open show, and
// their texts.
constexpr uint32_t kTagSaveError = fourcc("Serr");
constexpr uint32_t kTagOpenError = fourcc("Oerr");
constexpr const char* kSaveFailed = "Could not save ";
constexpr const char* kOpenFailed = "Could not open ";
constexpr const char* kUnknownWriteFailure = "The file could not be written.";
// A file that opens but does not read as what it should be.
constexpr const char* kDamagedPerformance = "The file is damaged or is not a Tessivo performance.";
constexpr const char* kDamagedPreset = "The file is damaged or is not a Tessivo preset.";

// Text buffers, terminator included.
constexpr int kValueTextSize = 16;      // XValTop, XValBot
constexpr int kProgInfoLineSize = 32;   // each XProgInfo line
constexpr int kConfirmTextSize = 128;   // the WConfirm question
constexpr int kIdentifierSize = 128;    // the process-wide application identifier

// XGigaName: a name longer than this counts as long; progress -1 is none.
constexpr int kLongNameLength = 20;
constexpr int kNoProgress = -1;

// XDimList: cells 3..17 of a grid six cells wide.
constexpr int kDimFirstCell = 3;
constexpr int kDimCellCount = 15;

// XTabPorts: eight port flags.
constexpr int kPortCount = 8;

// WAbout: the maker's web host (the link's caption) and the product page.
constexpr const char* kWebHost = "www.quillane.com";
constexpr const char* kProductPage = "https://www.quillane.com/tessivo";

}  // namespace editor
