// Names, sizes and codes of the database builder utility.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace corvane {

// The database file, in the maker folder under the all-users data folder.
constexpr const char* kDatabaseFile = "corvane.db";

// Every file row whose file was read carries this version.
constexpr int kFileVersion = 3;
// The version of a file row whose file could not be read (gone, unreadable
// or still being copied): the next scan reads it again.
constexpr int kFileVersionUnread = 0;

// A scan reads files with no lock held and writes what they gave in batches,
// each one short transaction: after this many files read or this many
// milliseconds, whichever comes first, and at the end of the walk. Between
// batches the lock is free for the plug-in's ratings.
constexpr int kBatchFiles = 200;
constexpr int kBatchMs = 250;
// Instrument rows written by one statement.
constexpr int kInstrumentRowsPerInsert = 8;
// Attempts to take the database's write lock (each waits the busy timeout)
// before the files of a batch (or the rows of files gone) are given up as
// not stored.
constexpr int kWriteAttempts = 2;

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
