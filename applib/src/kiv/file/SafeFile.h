// file::SafeFile replaces a file all at once: the new contents go to a
// temporary file created exclusively beside the target, and only Commit,
// when every byte reached the disk, renames it over the target. Until then,
// and whenever anything fails, the target stays as it was and the temporary
// file is removed. A symbolic link target is followed (the file it points at
// is replaced, the link stays); a replaced file keeps its permissions, a new
// one gets 0644; a folder or device target is refused. After a failure errno
// tells why (cleaning up keeps it). One writer per object.
//
// Temporary names are hidden and marked: ".<name>.kivtmp-XXXXXX".
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

#include <sys/types.h>

namespace file {

// What every temporary name carries after the target's name: only this
// library writes it, so a user's ".song.tv2.backup" is never taken for one.
constexpr const char* kTemporaryMarker = ".kivtmp-";

// The temporary names of a target are this prefix (its folder, '.', its
// name, the marker) and six mkstemp letters.
std::string TemporaryPrefix(const std::string& target);
// Removes the temporary files of the target that were last written over a
// minute ago: those of earlier saves whose process died before they
// finished. Files of other users, folders, links and every name without the
// marker are left alone.
void RemoveStaleTemporaries(const std::string& target);

// Whether a save may replace the file at path: not when the file is there
// but cannot be read, nor when it is there after an earlier read of it
// failed (lastReadFailure, an errno value, 0 for none). Either way what it
// holds was never taken in, and writing would lose it. A missing file may
// always be written. When false, errno tells why.
bool MayReplace(const char* path, int lastReadFailure);

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

    // Flushes, syncs to the disk, closes, renames over the target and syncs
    // the folder, so the new contents survive a power cut; true only when all
    // of that succeeded (a folder that could not be synced leaves the target
    // replaced, but the save is reported as failed).
    bool Commit();

    // The file that is replaced (a link's target); empty before Open.
    const std::string& GetTarget() const { return m_target; }
    // The temporary file, for a writer that must seek and so opens it by
    // name; it writes the file whole and closes it before Commit, which
    // syncs it whichever descriptor wrote it. Empty when not open.
    const std::string& GetTempPath() const { return m_tempPath; }

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
