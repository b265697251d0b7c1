// file::Scan: a recursive folder walk. A derived class gets one call per
// sub-folder (and decides whether to walk it) and one per file. Runs on the
// thread that calls Walk.
//
// Entries whose names begin with '.' (hidden on this platform) are skipped.
// A derived class caps the depth by not walking a sub-folder once Depth()
// has reached its limit.
// Symbolic links to folders are never followed, so a link loop cannot trap
// the walk; a link to a regular file counts as that file. Only regular files
// reach OnFile: opening a pipe or a device named like a file could block.
#pragma once
#include <string>

namespace file {

class Scan {
public:
    Scan();
    virtual ~Scan();

    // Walks one folder (its path ends with the separator). False when the
    // folder cannot be searched or the walk of it failed.
    bool Walk(const char* folder);

    // Levels the folder being walked lies below the one the outermost Walk
    // was given: 0 while walking that folder itself, -1 outside a walk.
    int Depth() const { return m_open - 1; }

protected:
    // folder ends with the separator; fullPath is folder + name, and for a
    // sub-folder it ends with the separator too.
    virtual void EnterDirectory(const char* folder, const char* name, const char* fullPath) = 0;
    virtual void OnFile(const char* folder, const char* name, const char* fullPath) = 0;
    // Asked before each entry: true ends the walk of every open folder.
    virtual bool StopWalk() { return false; }

private:
    bool WalkEntries(const char* folder);

    int m_open = 0;           // folders being walked, the outermost included
};

}  // namespace file
