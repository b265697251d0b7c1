// file::Dir builds folder paths from the special folders and enters or creates
// sub-folders; app::folder is one opened sub-folder of an application-data
// folder (the maker folder "Quillane"). Both are per caller, no locking.
// Paths hold at most 299 characters: an operation that would make a longer
// one fails and leaves the path unchanged.
#pragma once
#include <cstddef>

#include "kiv/file/FileLimits.h"

namespace file {

// Special folder kinds for Dir(kind) and SetSpecialFolder.
enum SpecialFolder {
    kProgramFolder = 0,   // folder of the running program
    kCommonAppData = 1,   // $XDG_DATA_HOME or ~/.local/share
    kUserAppData = 2,     // $XDG_CONFIG_HOME or ~/.config
    kDesktopFolder = 3,   // $XDG_DESKTOP_DIR or ~/Desktop
};

class Dir {
public:
    Dir();
    explicit Dir(int kind);
    virtual ~Dir();

    // Kinds 1 and 2 fail (path unchanged) when there is no home to find them
    // in; they are created when missing. Kind 0 keeps the path when the
    // program's location cannot be read; kind 3 takes what the environment
    // gives; other kinds leave the path unchanged. True except as said.
    bool SetSpecialFolder(int kind);
    // Copies the text and ends it with the separator; false (unchanged) when
    // the result would be too long.
    bool SetPath(const char* text);
    // Removes trailing blanks and appends the separator to a non-empty path.
    void EndWithSeparator();
    // Removes the last folder name.
    void Up();
    // Appends name and the separator; true when that folder exists, else the
    // path is restored and the result is false.
    bool Enter(const char* name);
    // Enter, creating the folder when missing.
    bool EnterOrCreate(const char* name);

    // path + name [+ '.'] [+ ext]. The text lives in this object until the
    // next composition; it is empty when it would be too long.
    const char* GetFilePath(const char* name, const char* ext = nullptr);
    // A new empty file in this folder, created exclusively, named by 12
    // random lower-case letters and the suffix; its path as GetFilePath
    // gives it, or an empty text when no file could be created.
    const char* GetTempFilePath(const char* suffix = nullptr);

    const char* GetPath() const { return m_path; }
    char GetSeparator() const { return m_separator; }

private:
    // Appends name and the separator; false (unchanged) for an empty name or
    // a path that would be too long.
    bool AppendFolderName(const char* name);

    char m_separator = '/';
    char m_path[kDirPathCapacity] = {};
    char m_filePath[kDirPathCapacity] = {};
};

// True for an existing folder (stat only: the working folder never changes).
// False for texts of fewer than 2 characters, except the root "/".
bool FolderExists(const char* path);
// True for an existing file that opens for reading; false for a folder and
// for texts of fewer than 2 characters (without touching the file system).
bool FileExists(const char* path);
// Deletes the file (never a folder); true on success.
bool RemoveFile(const char* path);
// The name of the file a path reaches once every link on the way is
// followed (the last element of its real path), written into name; false
// when the path does not resolve or the name does not fit.
bool RealFileName(const char* path, char* name, size_t capacity);

}  // namespace file

namespace app {

// One sub-folder, created when missing, of an application-data folder.
class folder {
public:
    folder() = default;
    virtual ~folder();

    // where 0: the user's application data, 1: all users' application data,
    // other: the folder's current path. Then enters or creates name.
    bool Open(int where, const char* name);
    bool IsOpen() const { return m_open; }
    // Null while the folder is not open.
    const char* GetFilePath(const char* name, const char* ext = nullptr);
    file::Dir& GetDir() { return m_dir; }

private:
    file::Dir m_dir;
    bool m_open = false;
};

}  // namespace app
