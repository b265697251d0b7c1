// Constants of the settings window and the missing-files window: view ids,
// sizes, event and notification codes, fader ranges and text limits.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace editor {

// View ids (also the modal tag of the missing-files window).
constexpr uint32_t kSettingsViewId = fourcc("setw");
constexpr uint32_t kMissingViewId = fourcc("misf");

// Settings window: 660 x 348 pixels, three pages.
constexpr int kSettingsWidth = 660;
constexpr int kSettingsHeight = 348;
constexpr int kSettingsPageCount = 3;
constexpr int kCodeTabs = static_cast<int>(fourcc("tabs"));  // tab bar: index chosen

// Files that could not be read are named below the pages, a line each.
constexpr int kSettingsNoticeLineHeight = 15;  // pixels

// "Plug-ins" page: the button that takes back an added folder.
constexpr int kRemoveFolderWidth = 110;  // pixels

// "Memory" page: preload faders in seconds, and the MB from which sizes read in GB.
constexpr double kPreloadMin = 0.2;
constexpr double kPreloadMax = 4.0;
constexpr double kPreloadStep = 0.02;
constexpr int kMegabytesPerGigabyte = 1024;

// "Controllers" page: four columns of sixteen controllers (1 to 64).
constexpr int kCtlColumns = 4;
constexpr int kCtlRows = 16;
constexpr int kCtlColumnWidth = 164;  // pixels between columns
constexpr int kCtlRowHeight = 16;     // pixels between rows
constexpr int kCtlNone = -1;          // the entry drives no function

// Missing-files window: 640 x 184 pixels.
constexpr int kMissingWidth = 640;
constexpr int kMissingHeight = 184;
constexpr uint32_t kMissingThreadCode = fourcc("scan");
constexpr int32_t kEventSearchDone = static_cast<int32_t>(fourcc("done"));
constexpr int kMissingMaxDepth = 32;        // folder levels the search descends
constexpr int kGigExtensionLength = 4;      // ".gig"
constexpr int kStopPollMs = 1;              // the destructor's wait step for the search

// Progress texts handed from a worker to the GUI (bytes, terminator included).
constexpr int kProgressTextSize = 512;

}  // namespace editor
