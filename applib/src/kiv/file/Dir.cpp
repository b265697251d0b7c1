#include "kiv/file/Dir.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace file {

namespace {

// The user's home folder: $HOME, else the password database.
bool HomeFolder(char* out, size_t capacity)
{
    const char* home = getenv("HOME");
    if (home && home[0] == '/' && strlen(home) < capacity) {
        strcpy(out, home);
        return true;
    }
    passwd entry;
    passwd* found = nullptr;
    char buffer[1024];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found || !found->pw_dir ||
        found->pw_dir[0] != '/' || strlen(found->pw_dir) >= capacity)
        return false;
    strcpy(out, found->pw_dir);
    return true;
}

// An XDG folder: the variable when it holds an absolute path, else the
// fallback under the home folder.
bool XdgFolder(const char* variable, const char* fallback, char* out, size_t capacity)
{
    const char* value = getenv(variable);
    if (value && value[0] == '/') {
        if (strlen(value) >= capacity)
            return false;
        strcpy(out, value);
        return true;
    }
    char home[kDirPathCapacity];
    if (!HomeFolder(home, sizeof home))
        return false;
    int n = snprintf(out, capacity, "%s/%s", home, fallback);
    return n > 0 && static_cast<size_t>(n) < capacity;
}

// Creates the folder and the missing folders above it (private to the user,
// as application-data folders are).
bool MakeFolders(const char* path)
{
    char partial[kDirPathCapacity];
    size_t n = strlen(path);
    if (n == 0 || n >= sizeof partial)
        return false;
    for (size_t i = 1; i <= n; ++i) {
        if (path[i] != '/' && path[i] != '\0')
            continue;
        memcpy(partial, path, i);
        partial[i] = '\0';
        if (mkdir(partial, 0700) != 0 && errno != EEXIST)
            return false;
    }
    return FolderExists(path);
}

// Random letters for temporary names: a generator of our own per thread, so
// the names never depend on the process-wide rand() or the clock's second.
std::mt19937& NameGenerator()
{
    thread_local std::mt19937 generator = [] {
        unsigned seed = static_cast<unsigned>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count());
        try {
            std::random_device device;
            std::seed_seq sequence{device(), device(), seed, static_cast<unsigned>(getpid())};
            return std::mt19937(sequence);
        } catch (...) {
            std::seed_seq sequence{seed, static_cast<unsigned>(getpid())};
            return std::mt19937(sequence);
        }
    }();
    return generator;
}

}  // namespace

Dir::Dir() = default;

Dir::Dir(int kind) { SetSpecialFolder(kind); }

Dir::~Dir() = default;

bool Dir::SetSpecialFolder(int kind)
{
    char found[kDirPathCapacity];
    switch (kind) {
    case kProgramFolder: {
        ssize_t n = readlink("/proc/self/exe", found, sizeof found - 1);
        if (n <= 0 || n >= static_cast<ssize_t>(sizeof found - 1))
            return true;
        found[n] = '\0';
        char* slash = strrchr(found, '/');
        if (!slash)
            return true;
        slash[1] = '\0';
        SetPath(found);
        return true;
    }
    case kCommonAppData:
    case kUserAppData: {
        bool common = kind == kCommonAppData;
        if (!XdgFolder(common ? "XDG_DATA_HOME" : "XDG_CONFIG_HOME", common ? ".local/share" : ".config",
                       found, sizeof found))
            return false;
        // A fresh account may not have it yet: it is made, as callers expect
        // the application-data folder to exist.
        if (!FolderExists(found) && !MakeFolders(found))
            return false;
        return SetPath(found);
    }
    case kDesktopFolder:
        if (!XdgFolder("XDG_DESKTOP_DIR", "Desktop", found, sizeof found))
            found[0] = '\0';
        SetPath(found);
        return true;
    default:
        return true;
    }
}

bool Dir::SetPath(const char* text)
{
    if (!text)
        text = "";
    size_t n = strlen(text);
    while (n > 0 && text[n - 1] == ' ')
        --n;
    size_t needed = n + (n > 0 && text[n - 1] != m_separator ? 1 : 0);
    if (needed >= sizeof m_path)
        return false;
    memcpy(m_path, text, n);
    m_path[n] = '\0';
    EndWithSeparator();
    return true;
}

void Dir::EndWithSeparator()
{
    size_t n = strlen(m_path);
    if (n == 0)
        return;
    while (n > 0 && m_path[n - 1] == ' ')
        m_path[--n] = '\0';
    if (n == 0 || m_path[n - 1] == m_separator || n + 1 >= sizeof m_path)
        return;
    m_path[n] = m_separator;
    m_path[n + 1] = '\0';
}

void Dir::Up()
{
    size_t n = strlen(m_path);
    if (n < 2)
        return;
    // The separator before the final one (the path ends with a separator).
    for (size_t i = n - 1; i-- > 0;) {
        if (m_path[i] == m_separator) {
            m_path[i + 1] = '\0';
            return;
        }
    }
}

bool Dir::Enter(const char* name)
{
    const size_t before = strlen(m_path);
    if (!AppendFolderName(name))
        return false;
    if (FolderExists(m_path))
        return true;
    m_path[before] = '\0';
    return false;
}

bool Dir::EnterOrCreate(const char* name)
{
    const size_t before = strlen(m_path);
    if (!AppendFolderName(name))
        return false;
    if (FolderExists(m_path) || mkdir(m_path, 0777) == 0 || (errno == EEXIST && FolderExists(m_path)))
        return true;
    m_path[before] = '\0';
    return false;
}

bool Dir::AppendFolderName(const char* name)
{
    if (!name || !name[0])
        return false;
    size_t n = strlen(m_path);
    size_t add = strlen(name);
    if (n + add + 1 >= sizeof m_path)
        return false;
    memcpy(m_path + n, name, add);
    m_path[n + add] = m_separator;
    m_path[n + add + 1] = '\0';
    return true;
}

const char* Dir::GetFilePath(const char* name, const char* ext)
{
    if (!name)
        name = "";
    bool dot = ext && ext[0] && ext[0] != '.';
    int n = snprintf(m_filePath, sizeof m_filePath, "%s%s%s%s", m_path, name, dot ? "." : "",
                     ext ? ext : "");
    if (n < 0 || static_cast<size_t>(n) >= sizeof m_filePath)
        m_filePath[0] = '\0';
    return m_filePath;
}

const char* Dir::GetTempFilePath(const char* suffix)
{
    if (!suffix)
        suffix = "";
    size_t suffixLength = strlen(suffix);
    if (suffixLength + kTempNameLetters >= sizeof m_filePath) {
        m_filePath[0] = '\0';
        return m_filePath;
    }
    char name[kDirPathCapacity];
    std::uniform_int_distribution<int> letter(0, 25);
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (int i = 0; i < kTempNameLetters; ++i)
            name[i] = static_cast<char>('a' + letter(NameGenerator()));
        memcpy(name + kTempNameLetters, suffix, suffixLength + 1);
        const char* path = GetFilePath(name);
        if (!path[0])
            return path;
        // Created exclusively: the name is ours alone once this succeeds.
        int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return path;
        }
        if (errno != EEXIST)
            break;
    }
    m_filePath[0] = '\0';
    return m_filePath;
}

bool FolderExists(const char* path)
{
    if (!path || (strlen(path) < 2 && strcmp(path, "/") != 0))
        return false;
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const char* path)
{
    if (!path || strlen(path) < 2)
        return false;
    // Non-blocking, so a named pipe cannot stall the caller.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool file = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    close(fd);
    return file;
}

bool RemoveFile(const char* path) { return path && path[0] && unlink(path) == 0; }

bool RealFileName(const char* path, char* name, size_t capacity)
{
    if (!path || !path[0] || !name || capacity == 0)
        return false;
    char* real = realpath(path, nullptr);
    if (!real)
        return false;
    const char* last = strrchr(real, '/');
    last = last ? last + 1 : real;
    const size_t length = strlen(last);
    const bool fits = length > 0 && length < capacity;
    if (fits)
        memcpy(name, last, length + 1);
    free(real);
    return fits;
}

}  // namespace file

namespace app {

folder::~folder() = default;

bool folder::Open(int where, const char* name)
{
    m_open = false;
    // A base folder that cannot be found must not turn into a folder
    // created relative to the host's working folder.
    if (where == 0 && !m_dir.SetSpecialFolder(file::kUserAppData))
        return false;
    if (where == 1 && !m_dir.SetSpecialFolder(file::kCommonAppData))
        return false;
    if (!m_dir.GetPath()[0])
        return false;
    m_open = m_dir.EnterOrCreate(name);
    return m_open;
}

const char* folder::GetFilePath(const char* name, const char* ext)
{
    return m_open ? m_dir.GetFilePath(name, ext) : nullptr;
}

}  // namespace app
