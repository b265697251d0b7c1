#include "kiv/file/FileOpen.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace file {

int OpenRegular(const char* path, int flags, int64_t* size, int mode)
{
    if (!path || !path[0]) {
        errno = ENOENT;
        return -1;
    }
    // O_NONBLOCK makes the open of a pipe return at once; a regular file
    // ignores it.
    int fd;
    do {
        fd = open(path, flags | O_NONBLOCK | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int reason = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = reason;
        return -1;
    }
    // Reads and writes of a regular file wait for the disk as usual.
    const int status = fcntl(fd, F_GETFL);
    if (status == -1 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
        close(fd);
        return -1;
    }
    if (size)
        *size = static_cast<int64_t>(info.st_size);
    return fd;
}

int OpenForReading(const char* path, int64_t* size) { return OpenRegular(path, O_RDONLY, size); }

FILE* OpenStreamForReading(const char* path, int64_t* size)
{
    const int fd = OpenForReading(path, size);
    if (fd < 0)
        return nullptr;
    FILE* stream = fdopen(fd, "rb");
    if (!stream)
        close(fd);
    return stream;
}

bool IsReadableFile(const char* path)
{
    const int fd = OpenForReading(path);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

int WhyNotReadable(const char* path)
{
    if (!path || !path[0])
        return ENOENT;
    // A pipe, device or socket is named as such, not by what opening it
    // would say (a socket gives "No such device or address").
    struct stat info = {};
    if (stat(path, &info) != 0)
        return errno;
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    if (!S_ISREG(info.st_mode))
        return kNotRegularFile;
    const int fd = OpenForReading(path);
    if (fd < 0)
        return errno == EINVAL ? kNotRegularFile : errno;  // replaced meanwhile
    close(fd);
    return 0;
}

std::string ReasonText(int reason)
{
    if (reason == kNotRegularFile)
        return "Not a regular file";
    if (reason == 0)
        return {};
    char text[128] = {};
    // The GNU strerror_r gives its text, maybe not in the buffer.
    return strerror_r(reason, text, sizeof text);
}

int ReadFailure(const char* path)
{
    const int reason = WhyNotReadable(path);
    return reason == ENOENT || reason == ENOTDIR ? 0 : reason;
}

}  // namespace file
