// Limits and names shared by the folder, path, buffered-file and RIFF classes.
#pragma once
#include <cstdint>

namespace file {

// Folder paths and composed file paths of file::Dir: 299 characters + NUL.
constexpr int kDirPathCapacity = 300;
// The maker folder created under the application-data folders.
constexpr const char* kMakerFolder = "Quillane";

// A temporary file name: this many lower-case letters, then the suffix.
constexpr int kTempNameLetters = 12;

// UFileDisk's cache: one block of this many bytes.
constexpr int64_t kFileBlockBytes = 4096;

// CImpRiff walks levels 0..kRiffLevels-1; CRiffWriter nests at most
// kRiffOpenChunks chunks.
constexpr int kRiffLevels = 40;
constexpr int kRiffOpenChunks = 20;

}  // namespace file
