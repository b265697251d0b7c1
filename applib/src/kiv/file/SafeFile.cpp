#include "kiv/file/SafeFile.h"

#include "kiv/file/FileOpen.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace file {

namespace {

// The file the path stands for: a symbolic link is followed, so saving
// replaces the file it points at rather than the link.
std::string ResolveTarget(const char* path)
{
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(path, nullptr)) {
            std::string target = real;
            free(real);
            return target;
        }
    }
    return path;
}

constexpr int kTempLetters = 6;        // mkstemp's XXXXXX
constexpr time_t kStaleSeconds = 60;   // a save in progress is younger

// The temporary name: hidden, in the target's folder (a rename never
// crosses file systems), with mkstemp's six letters at the end.
std::string TempPattern(const std::string& target)
{
    return TemporaryPrefix(target) + "XXXXXX";
}

bool IsTempLetters(const char* text)
{
    for (int i = 0; i < kTempLetters; ++i) {
        const char c = text[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return text[kTempLetters] == 0;
}

// The folder part of a path, ending in '/' ("./" for a bare name).
std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// Makes a rename in the folder durable: without this a power cut may bring
// back the old name, or no file at all. A folder that cannot be opened or a
// file system that cannot sync folders leaves nothing to do; only a failed
// write to the disk counts.
bool SyncFolder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    int result;
    do {
        result = fsync(fd);
    } while (result != 0 && errno == EINTR);
    const int reason = errno;
    close(fd);
    if (result == 0 || reason == EINVAL || reason == EROFS || reason == ENOTSUP)
        return true;
    errno = reason;
    return false;
}

}  // namespace

std::string TemporaryPrefix(const std::string& target)
{
    const size_t slash = target.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return target.substr(0, nameStart) + "." + target.substr(nameStart) + kTemporaryMarker;
}

void RemoveStaleTemporaries(const std::string& target)
{
    const std::string prefix = TemporaryPrefix(target);
    const size_t slash = prefix.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : prefix.substr(0, slash + 1);
    const std::string namePrefix = prefix.substr(slash == std::string::npos ? 0 : slash + 1);
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    const time_t now = time(nullptr);
    const uid_t user = getuid();
    while (dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (strncmp(name, namePrefix.c_str(), namePrefix.size()) != 0 || !IsTempLetters(name + namePrefix.size()))
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_uid != user)
            continue;
        if (now - st.st_mtime > kStaleSeconds)
            unlinkat(dirfd(dir), name, 0);
    }
    closedir(dir);
}

bool MayReplace(const char* path, int lastReadFailure)
{
    if (const int reason = ReadFailure(path)) {
        errno = reason > 0 ? reason : EINVAL;
        return false;
    }
    struct stat st;
    if (lastReadFailure && path && stat(path, &st) == 0) {
        errno = lastReadFailure;
        return false;
    }
    return true;
}

SafeFile::~SafeFile() { Discard(); }

bool SafeFile::Open(const char* target)
{
    Discard();
    if (!target || !*target) {
        errno = ENOENT;
        return false;
    }
    std::string resolved = ResolveTarget(target);
    struct stat st;
    mode_t mode = 0644;
    if (stat(resolved.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            return false;  // never replace a folder or a device
        }
        mode = st.st_mode & 07777;
    }

    RemoveStaleTemporaries(resolved);
    std::string pattern = TempPattern(resolved);
    int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    FILE* file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
        unlink(pattern.c_str());
        return false;
    }
    m_target = std::move(resolved);
    m_tempPath = std::move(pattern);
    m_fd = fd;
    m_file = file;
    m_mode = mode;
    m_writeFailed = false;
    return true;
}

bool SafeFile::Write(const void* bytes, size_t count)
{
    if (!m_file) {
        m_writeFailed = true;
        return false;
    }
    if (count > 0 && fwrite(bytes, 1, count, m_file) != count)
        m_writeFailed = true;
    return !m_writeFailed;
}

bool SafeFile::Commit()
{
    if (!m_file)
        return false;
    bool ok = !m_writeFailed && fflush(m_file) == 0 && !ferror(m_file);
    // Best effort: some file systems keep no permissions.
    (void)fchmod(m_fd, m_mode);
    ok = ok && fsync(m_fd) == 0;
    ok = fclose(m_file) == 0 && ok;
    m_file = nullptr;
    m_fd = -1;
    ok = ok && rename(m_tempPath.c_str(), m_target.c_str()) == 0;
    if (!ok) {
        Discard();
        return false;
    }
    m_tempPath.clear();
    // The new name reaches the disk only with its folder.
    return SyncFolder(FolderOf(m_target));
}

void SafeFile::Discard()
{
    // Callers report why a save failed from errno: cleaning up must not
    // replace the reason.
    const int reason = errno;
    if (m_file)
        fclose(m_file);
    m_file = nullptr;
    m_fd = -1;
    if (!m_tempPath.empty())
        unlink(m_tempPath.c_str());
    m_tempPath.clear();
    errno = reason;
}

}  // namespace file
