// Files for the fuzz targets that read their input from disk: a temporary
// folder removed with everything in it when the process exits, an input file
// inside one that each input overwrites, a folder made the process's home
// (HOME and the XDG data and config homes), and whole-file reads and writes.
#pragma once
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace kivfuzz {

// Replaces a file's bytes; false on failure.
inline bool WriteBytes(const std::string& path, const void* data, size_t size)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

// A whole file's bytes (empty when it is missing).
inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    uint8_t buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    return bytes;
}

// A fresh folder "<base>/<prefix>XXXXXX", removed with its contents when the
// object goes (keep it in a static: libFuzzer ends with exit()). inMemory
// puts it on /dev/shm when that is writable, so an input costs no disk write;
// otherwise it goes under TMPDIR or /tmp.
class TempFolder {
public:
    explicit TempFolder(const char* prefix, bool inMemory = false)
    {
        std::string base;
        struct stat st;
        if (inMemory && ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0) {
            base = "/dev/shm";
        } else {
            const char* tmp = ::getenv("TMPDIR");
            base = tmp && *tmp ? tmp : "/tmp";
        }
        std::string pattern = base + "/" + prefix + "XXXXXX";
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempFolder()
    {
        if (m_path.empty())
            return;
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool Ok() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Points HOME, XDG_CONFIG_HOME (<folder>/config) and XDG_DATA_HOME
// (<folder>/share) into the folder, so a target's application data stays in it.
inline void UseAsHome(const std::string& folder)
{
    setenv("HOME", folder.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (folder + "/share").c_str(), 1);
}

// One input file in its own temporary folder, kept open so that each input
// only truncates and rewrites it.
class InputFile {
public:
    InputFile(const char* prefix, const char* name, bool inMemory = false) : m_folder(prefix, inMemory)
    {
        if (!m_folder.Ok())
            return;
        m_path = m_folder.File(name);
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }
    ~InputFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Replaces the file's bytes; false when the folder or file could not be made.
    bool Write(const uint8_t* data, size_t size)
    {
        if (m_fd < 0)
            return false;
        if (::ftruncate(m_fd, 0) != 0)
            return false;
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool Ok() const { return m_fd >= 0; }
    const char* Path() const { return m_path.c_str(); }
    const TempFolder& Folder() const { return m_folder; }

private:
    TempFolder m_folder;
    std::string m_path;
    int m_fd = -1;
};

}  // namespace kivfuzz
