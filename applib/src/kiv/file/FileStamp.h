// What a scan needs to know of a file without opening it: whether it is
// still there, its size and its modification time, and the real place of a
// folder reached through symbolic links. Any thread.
#pragma once
#include <cstdint>
#include <string>

namespace file {

struct FileStamp {
    int64_t size = 0;
    int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch

    bool operator==(const FileStamp& other) const = default;
};

enum class FileState {
    kFile,     // a regular file (a link is looked through); stamp filled
    kGone,     // nothing of that name, or no regular file any more
    kUnknown,  // the system would not say (no permission, I/O error)
};

FileState StampOf(const char* path, FileStamp& stamp);

// The folder's absolute path with every link, "." and ".." resolved, ending
// with the separator; empty when the folder cannot be resolved.
std::string RealFolder(const char* folder);

}  // namespace file
