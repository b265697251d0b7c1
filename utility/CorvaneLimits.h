// Names, sizes and codes of the database builder utility.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace corvane {

// The database file, in the maker folder under the all-users data folder.
constexpr const char* kDatabaseFile = "corvane.db";

// Every file row carries this version.
constexpr int kFileVersion = 3;

// Folder levels with a path id: the root and 127 levels below it. Deeper
// folders are not walked.
constexpr int kPathIdDepth = 128;

// Keyword and instrument-name buffers of the name reader, NUL included.
constexpr int kNameTextBytes = 512;

// Events posted to the main window: one per new file row, one at the end of
// a walk.
constexpr uint32_t kEventNewFile = fourcc("newf");
constexpr uint32_t kEventDone = fourcc("done");

// The scanner thread's job code.
constexpr uint32_t kScanThreadCode = fourcc("scan");

// How long Start waits for a scan thread that has posted 'done' to finish.
constexpr int kFinishWaitMs = 2000;

}  // namespace corvane
