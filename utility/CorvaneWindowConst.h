// Names, codes, texts and geometry of the utility's main window and its
// application object.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"
#include "kiv/db/DbLimits.h"

namespace corvane {

// The folder list, beside the database in the maker folder.
constexpr const char* kPrefsFile = "corvane.prefs";
constexpr uint32_t kPrefsType = fourcc("crvn");
constexpr uint32_t kTagFolderCount = fourcc("nfav");
constexpr uint32_t kTagFolderPath = fourcc("path");
constexpr int kPrefsVersion = 1;

// The view posts this to itself once it is built: the database and the list
// are loaded on the first tick, with the window already on the screen.
constexpr uint32_t kEventLoad = fourcc("load");

// The scan button's states.
enum ScanState {
    kStateScan = 0,  // "Scan folders"
    kStateStop = 1,  // "Stop"
    kStateQuit = 2,  // "Quit"
};
// The folder index a stopped sequence jumps to: the running walk's 'done'
// then ends it.
constexpr int kStoppedIndex = 999999;

// Window texts.
constexpr const char* kWindowTitle = "Corvane Database";
constexpr const char* kTextFolders = "Folders to scan";
constexpr const char* kTextFiles = "Giga files";
constexpr const char* kTextScan = "Scan folders";
constexpr const char* kTextStop = "Stop";
constexpr const char* kTextQuit = "Quit";
constexpr const char* kTextAddHint = "Click on the + button to add a folder";
constexpr const char* kTextFinished = "Scan finished";
constexpr const char* kTextStopped = "Scan stopped";
constexpr const char* kTextBrowseTitle = "Select a folder to scan";
// What went wrong with the database; the refused scan's line begins with
// kTextScanStopped, the line after the start with these texts capitalised.
constexpr const char* kTextScanStopped = "Scan stopped: ";
// The words are kiv::db's, which the plug-in's search shows too.
constexpr const char* kTextDatabaseLocked = kiv::kDbTextLocked;
constexpr const char* kTextDatabaseCannotCreate = kiv::kDbTextCannotCreate;
constexpr const char* kTextDatabaseNotDatabase = kiv::kDbTextNotDatabase;
constexpr const char* kTextDatabaseReadOnly = kiv::kDbTextReadOnly;
constexpr const char* kTextDatabaseFailed = kiv::kDbTextFailed;

// Geometry (pixels). Negative positions count from the right or bottom
// edge, a negative width from the right edge.
constexpr int kWindowW = 600;
constexpr int kWindowH = 300;
constexpr int kMargin = 10;
constexpr int kHeaderFilesX = 488;
constexpr int kHeaderFilesW = 102;
constexpr int kHeaderH = 18;
constexpr int kStatusY = -56;
constexpr int kStatusH = 18;
constexpr int kButtonY = -30;
constexpr int kButtonH = 22;
constexpr int kSmallButtonW = 30;
constexpr int kRemoveX = 50;
constexpr int kScanX = -140;
constexpr int kScanW = 130;
constexpr int kListGap = 4;  // between the list and the status line

// Rows of the folder list: the band of a row and the count column.
constexpr int kPathRowH = 16;
constexpr int kCountColumn = 100;  // from the list's right edge
constexpr int kTextInset = 4;
constexpr int kPathGap = 8;  // between a path and the count column
// How far above the y it is given XGraphic::DrawString starts its text.
constexpr int kTextRise = 3;

// The application's loop: the longest wait for input between two looks at
// the quit flag.
constexpr int kPumpMs = 50;

}  // namespace corvane
