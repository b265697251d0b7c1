// Constants of the editor's browser (favourites, disks and folders, the
// instruments of a bank) and of its database search view: notification
// codes, drag kinds, node types, limits and the texts they show.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace browser {

// Notification codes.
constexpr int kCodeLoad = static_cast<int>(fourcc("load"));       // load the chosen instrument
constexpr int kCodeNotice = static_cast<int>(fourcc("rate"));     // the hit list has a notice (a rating not stored)
constexpr int kCodeFavNew = static_cast<int>(fourcc("fnew"));     // a folder dropped on the favourites
constexpr int kCodeFavDelete = static_cast<int>(fourcc("fdel"));  // a favourite dragged out of its pane
constexpr int kCodeButtonUp = static_cast<int>(fourcc("MoUp"));   // a push button released inside

// Drag kinds carried by items dragged out of the panes and the hit list.
constexpr uint32_t kDragTree = fourcc("tree");
constexpr uint32_t kDragLink = fourcc("link");
constexpr uint32_t kDragInst = fourcc("inst");
constexpr uint32_t kDragBase = fourcc("base");

// Tree node types, also the keys of the tree's pictures.
constexpr int kNodeDrive = 1;
constexpr int kNodeFolder = 2;
constexpr int kNodeBank = 3;
constexpr int kNodePreset = 4;

// Picture keys of the favourites and instruments panes.
constexpr int kPicComputer = 0;
constexpr int kPicFavFolder = 2;
constexpr int kPicInstrument = 0;

// The favourites: entries kept, the byte-order guess and the bounds of the
// file reader (a path longer than a folder path can be is not a path).
constexpr int kFavMaxEntries = 64;
constexpr uint32_t kFavSwapAbove = 1024;        // a count above this is byte-swapped
constexpr uint32_t kFavMaxPathBytes = 4096;     // longest entry read from the file
constexpr long kFavMaxFileBytes = 1024 * 1024;  // a larger file is not a favourites file
constexpr const char* kFavFolder = "Quillane";
constexpr const char* kFavFileName = "tessivo";
constexpr const char* kFavFileExt = "fav";

// Folder listing: the scratch path and the most entries one folder may add
// (a folder of a million files must not stall the editor).
constexpr size_t kListPathBytes = 512;
constexpr int kMaxFolderEntries = 10000;
constexpr int kMaxMountBytes = 64 * 1024;  // of /proc/self/mounts read for drives

// Browser layout: panes at y 22, 269 px high; captions at y 6, 14 px high.
constexpr int kPaneY = 22;
constexpr int kPaneHeight = 269;
constexpr int kCaptionY = 6;
constexpr int kCaptionHeight = 14;
constexpr int kFavX = 6, kFavWidth = 180;
constexpr int kTreeX = 188, kTreeWidth = 414;
constexpr int kInstX = 604, kInstWidth = 256;
constexpr size_t kBankPathBytes = 512;
// Why a bank lists no instruments, drawn in their pane.
constexpr int kNoticeInset = 8;
constexpr int kNoticeFontSize = 11;
constexpr uint8_t kNoticeColour[3] = {255, 170, 120};
constexpr const char* kBankUnreadable = "Damaged, or not a .gig file";

// Database search: the file, the columns and the star geometry of a hit row.
constexpr const char* kDbFolder = "Quillane";
constexpr const char* kDbFileName = "corvane";
constexpr const char* kDbFileExt = "db";
constexpr int kColumnFile = 0;
constexpr int kColumnRating = 1;
constexpr int kColumnInstrument = 2;
constexpr int kMaxRating = 5;
constexpr int kStarPitch = 18;        // px from one star to the next
constexpr int kStarFirstLeft = -60;   // first star's left edge from the list's middle
constexpr int kStarZoneLeft = -66;    // clicks from here on rate (6 px give 0 stars)
// A search stops listing after this many hits: appending rows to the list is
// linear in its length, so an unbounded result would stall the GUI thread.
constexpr int kMaxHits = 5000;
// How long the GUI thread waits for another program's lock on the database
// before it says the database is busy (the utility holds it for a batch).
constexpr int kGuiBusyTimeoutMs = 300;
// A rating waits this long for the lock when clicked, then is tried again
// on each tick of the editor's timer with a shorter wait, until it has
// waited kRatingRetryMs in all; the utility lets the lock go between its
// batches, so it is stored within a tick or two while a scan runs.
constexpr int kRatingWaitMs = 40;
constexpr int kRatingRetryWaitMs = 5;
constexpr int kRatingRetryMs = 5000;
// A search of more distinct words than this is not run.
constexpr int kMaxSearchWords = 10000;
// The search text as the message line repeats it: longer ones are cut.
constexpr size_t kEchoBytes = 48;
constexpr int kRowModeHits = 0;
constexpr int kRowModeText = 1;

// Texts.
constexpr const char* kTitle = "Corvane Database";
constexpr const char* kSearchHint = "search...";
constexpr const char* kEnterText = "Please enter a text to search";
constexpr const char* kNoDatabase = "No database: Please run the Corvane utility to create the database";
constexpr const char* kTooManyWords = "Please search for at most %d different words";

}  // namespace browser
