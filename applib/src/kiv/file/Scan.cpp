#include "kiv/file/Scan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

namespace {

// Closes the folder search however the walk of it ends.
class FolderSearch {
public:
    explicit FolderSearch(const char* folder) : m_dir(opendir(folder)) {}
    ~FolderSearch()
    {
        if (m_dir)
            closedir(m_dir);
    }
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;
    DIR* Get() const { return m_dir; }

private:
    DIR* m_dir;
};

// Counts a folder as open for as long as its walk lasts, however it ends.
class Level {
public:
    explicit Level(int& open) : m_open(open) { ++m_open; }
    ~Level() { --m_open; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

private:
    int& m_open;
};

enum class EntryKind { kOther, kFolder, kFile };

// A link is looked through only to a regular file. The folder listing's own
// type spares a status call per entry where the file system gives one.
EntryKind KindOf(const std::string& path, unsigned char type)
{
    if (type == DT_DIR)
        return EntryKind::kFolder;
    if (type == DT_REG)
        return EntryKind::kFile;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return EntryKind::kOther;
    if (S_ISDIR(info.st_mode))
        return EntryKind::kFolder;
    if (S_ISREG(info.st_mode))
        return EntryKind::kFile;
    if (S_ISLNK(info.st_mode) && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return EntryKind::kFile;
    return EntryKind::kOther;
}

}  // namespace

namespace file {

Scan::Scan() = default;

Scan::~Scan() = default;

bool Scan::Walk(const char* folder)
{
    if (!folder || !folder[0])
        return false;
    try {
        return WalkEntries(folder);
    } catch (...) {
        // Only this folder's walk ends.
        return false;
    }
}

bool Scan::WalkEntries(const char* folder)
{
    FolderSearch search(folder);
    if (!search.Get())
        return false;
    Level level(m_open);
    std::string base(folder);
    if (base.back() != '/')
        base += '/';
    while (struct dirent* entry = readdir(search.Get())) {
        if (StopWalk())
            break;
        const char* name = entry->d_name;
        if (name[0] == '.')
            continue;
        std::string fullPath = base + name;
        switch (KindOf(fullPath, entry->d_type)) {
        case EntryKind::kFolder:
            fullPath += '/';
            EnterDirectory(base.c_str(), name, fullPath.c_str());
            break;
        case EntryKind::kFile:
            OnFile(base.c_str(), name, fullPath.c_str());
            break;
        case EntryKind::kOther:
            break;
        }
    }
    return true;
}

}  // namespace file
