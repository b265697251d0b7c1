// FavList: the user's favourite folders, kept in "tessivo.fav" in the maker
// folder under the user's application-data folder. One process-wide list
// is built with the plug-in library's other process-wide objects; every
// browser view shows it and compares its change counter to notice edits
// made by another editor. The file is read the first time the list is
// used and written back when the list is destroyed, only when it changed.
//
// Threads: GUI thread only (the browsers of every plug-in instance share
// the host's GUI thread); the destructor runs at library unload.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "editor/BrowserConst.h"

class FavList {
public:
    // With a path the list uses that file (tests); without one it uses
    // "tessivo.fav" in the maker folder, resolved at each read and write.
    explicit FavList(const char* path = nullptr);
    FavList(const FavList&) = delete;
    FavList& operator=(const FavList&) = delete;
    // Saves when changed, then frees the entries.
    virtual ~FavList();

    // Reads the file first when it has not been read yet.
    int GetCount();
    // Appends a copy; false (nothing stored, counter unchanged) when 64
    // entries are held or the path is empty.
    bool Add(const char* path);
    // Index from 1 (row 0 of the pane is "Computer"): removes entry index-1.
    // False for an index outside 1..count.
    bool Remove(int index);
    // Entry i (from 0): the folder's own name (the text after the last
    // separator before the final character, without a trailing separator).
    // Empty outside the list. The text lives until the next GetName/GetPath.
    const char* GetName(int i);
    // 0 gives "", n > 0 entry n-1 ("" outside the list).
    const char* GetPath(int index);

    // Reads the file (a missing or malformed one gives what could be read,
    // possibly nothing); the counter becomes 1 either way.
    void Load();
    // Writes the file when the counter is above 1 (changed since the last
    // read or write), replacing it at once; the counter becomes 1 only when
    // the file was written, so a failed write is tried again later. A file
    // that is there but could not be read is never written over.
    bool Save();

    // 0: not read yet; 1: as read or written; above: changed since.
    int GetChangeCount() const { return m_change; }
    // The file this list reads and writes; empty when no folder is found.
    std::string GetFilePath() const;

    // The list the browsers show (set by the plug-in's process-wide object).
    static void SetProcessList(FavList* list);
    static FavList* GetProcessList();

private:
    void EnsureLoaded();
    void Clear();

    int32_t m_change = 0;
    int m_readError = 0;  // errno of the last read of a file that is there
    uint32_t m_count = 0;
    std::unique_ptr<char[]> m_entries[browser::kFavMaxEntries];
    std::string m_text;  // the last name or path handed out
    std::string m_path;  // empty: the default place
};
