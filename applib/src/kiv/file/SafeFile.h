// file::SafeFile replaces a file all at once: the new contents go to a
// temporary file created exclusively beside the target, and only Commit,
// when every byte reached the disk, renames it over the target. Until then,
// and whenever anything fails, the target stays as it was and the temporary
// file is removed. A symbolic link target is followed (the file it points at
// is replaced, the link stays); a replaced file keeps its permissions, a new
// one gets 0644; a folder or device target is refused. After a failure errno
// tells why (cleaning up keeps it). One writer per object.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

#include <sys/types.h>

namespace file {

// Removes the files named `prefix` plus six mkstemp letters (the prefix
// holds the folder) that were last written over a minute ago: temporary
// files of earlier saves whose process died before they finished. Files of
// other users, folders and links are left alone.
void RemoveStaleTemporaries(const std::string& prefix);

class SafeFile {
public:
    SafeFile() = default;
    ~SafeFile();  // removes an uncommitted temporary file
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Creates the temporary file beside the target; false when the path is
    // empty, names a folder or device, or no file can be created there.
    // Stale temporary files of the same target are removed first.
    bool Open(const char* target);
    bool IsOpen() const { return m_file != nullptr; }

    // The temporary file for callers that write through stdio; null before
    // Open and after Commit. Failed writes through it make Commit fail.
    FILE* File() const { return m_file; }
    // Appends bytes; false (and Commit fails) when they could not be written.
    bool Write(const void* bytes, size_t count);
    bool Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }

    // Flushes, syncs to the disk, closes and renames over the target; true
    // only when all of that succeeded.
    bool Commit();

    // The file that is replaced (a link's target); empty before Open.
    const std::string& GetTarget() const { return m_target; }

private:
    void Discard();

    std::string m_target;
    std::string m_tempPath;
    int m_fd = -1;
    FILE* m_file = nullptr;
    mode_t m_mode = 0644;
    bool m_writeFailed = false;
};

}  // namespace file
