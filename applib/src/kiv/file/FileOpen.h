// The one way the system opens a file that it reads: never waiting, and only
// regular files. A named pipe without a writer would hold an ordinary open
// (and with it the host's GUI thread or setChunk) for good, and a device or
// folder would read as garbage or nothing; each is refused before a byte is
// read. Any thread; no state.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace file {

// Opens path with flags (O_RDONLY, O_RDWR or O_WRONLY with O_CREAT/O_TRUNC)
// without blocking, and keeps the descriptor only when it is a regular file.
// The descriptor is close-on-exec and blocking from then on. -1 when the
// file cannot be opened or is no regular file; size (when given) receives
// the file's length.
int OpenRegular(const char* path, int flags, int64_t* size = nullptr, int mode = 0666);
// OpenRegular for reading.
int OpenForReading(const char* path, int64_t* size = nullptr);
// The same as a stdio stream opened "rb"; null when refused.
FILE* OpenStreamForReading(const char* path, int64_t* size = nullptr);
// True when the path opens for reading as a regular file (nothing is read).
bool IsReadableFile(const char* path);
// The reason for a path that is a named pipe, a device or a socket, beside
// the errno values of the other refusals.
constexpr int kNotRegularFile = -1;
// Why the path does not open for reading as a regular file: 0 when it does,
// else kNotRegularFile or the system's errno value (EISDIR for a folder).
// Nothing is read and nothing waits.
int WhyNotReadable(const char* path);
// Such a reason in the user's words: "Not a regular file", or the system's
// text ("Permission denied", "Is a directory").
std::string ReasonText(int reason);
// Why a file that is there cannot be read, as WhyNotReadable says it; 0
// when it opens for reading or is not there at all (a missing file is no
// failure).
int ReadFailure(const char* path);

}  // namespace file
