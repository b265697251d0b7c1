#include "kiv/file/FileStamp.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace file {

FileState StampOf(const char* path, FileStamp& stamp)
{
    stamp = FileStamp();
    struct stat info;
    if (!path || !path[0])
        return FileState::kGone;
    if (stat(path, &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileState::kGone : FileState::kUnknown;
    if (!S_ISREG(info.st_mode))
        return FileState::kGone;
    stamp.size = static_cast<int64_t>(info.st_size);
    stamp.modifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return FileState::kFile;
}

std::string RealFolder(const char* folder)
{
    if (!folder || !folder[0])
        return {};
    char* real = realpath(folder, nullptr);
    if (!real)
        return {};
    std::string out(real);
    free(real);
    struct stat info;
    if (stat(out.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return {};
    if (out.back() != '/')
        out += '/';
    return out;
}

}  // namespace file
