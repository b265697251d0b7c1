// Helpers for the tests of files that are replaced: a full disk stood in for
// by a file-size limit, and a folder's listing.
#pragma once
#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

namespace filetest {

// While it lives, writes past the given size fail as on a full disk (even
// for root); SIGXFSZ is ignored so the write returns the error instead.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
        m_set = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        struct rlimit limited = m_old;
        limited.rlim_cur = bytes;
        m_set = m_set && setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        if (m_set)
            setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool IsSet() const { return m_set; }

private:
    struct rlimit m_old = {};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_set = false;
};

// Every name in the folder, hidden ones too, sorted.
inline std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace filetest
