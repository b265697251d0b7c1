// GigaBase: the utility's instrument database "corvane.db": the schema and
// the lookups and inserts of a scan. Owned by the scanner; used by the scan
// thread while a scan runs and by the window thread otherwise.
//
// Names are compared exactly (byte for byte): on this platform two folders
// or files whose names differ only in case are different, and a '%' or '_'
// in a name is a character, not a pattern. Every statement is prepared once
// with its values bound, so no name is too long and none needs quoting.
#pragma once
#include "kiv/db/Db.h"
#include "utility/CorvaneLimits.h"

#include <string>
#include <vector>

// One instrument name read from a file, with its place in the file.
struct GigaName {
    std::string name;
    int position = 0;
};

class GigaBase : public kiv::db {
public:
    GigaBase();
    ~GigaBase() override;

    // Opens (creating when missing) "corvane.db" in the maker folder under
    // the all-users application-data folder and makes the four tables when
    // the file has none. False when the file cannot be opened or is not a
    // database (it is then left untouched). The lookups' indexes are added
    // to a file made without them; the file is switched to write-ahead
    // logging, so the plug-in can search while a scan writes.
    bool Open();
    // The same for a database file of the caller's choice.
    bool OpenAt(const char* path);

    // Finds the root row of the folder or inserts it; sets the root id and
    // the new-root flag. False when the root has no row (no database). A
    // root is new only when no folder inside it is listed yet (roots may
    // overlap: one folder scanned before its parent).
    bool UseRoot(const char* folder);
    // The root row of the folder as the user listed it, or -1.
    int FindRoot(const char* folder);
    // The number of file rows inside the root's folder, whichever root
    // listed them (0 for -1 or on failure).
    int CountRootFiles(int rootId);

    // -1 at once for a new root (it can hold no rows yet), else the row id
    // or -1.
    int FindPath(const char* folder);
    // As FindPath; version (when given) receives the row's version.
    int FindFile(int pathId, const char* name, int* version = nullptr);

    // The new row's id or -1.
    int InsertPath(const char* folder);
    // A null or empty keyword leaves the column empty (NULL).
    int InsertFile(int pathId, const char* name, int version = corvane::kFileVersion,
                   const char* keyword = nullptr);
    int InsertInstrument(int fileId, const char* name, int position);
    // All of a file's instruments, several rows per statement; false at the
    // first statement that fails.
    bool InsertInstruments(int fileId, const std::vector<GigaName>& names);
    bool SetKeyword(int fileId, const char* keyword);
    // A file row read again: its version and keyword.
    bool UpdateFile(int fileId, int version, const char* keyword);

    // A batch of files is one transaction, taken with the write lock at
    // once. Commit rolls back when it fails.
    bool Begin();
    bool Commit();
    void RollBack();
    // Inside a batch, one file's rows: EndFile(false) takes them back and
    // leaves the rest of the batch. False when the file's rows could not
    // be kept (SQLite may then have ended the whole batch: InTransaction).
    bool BeginFile();
    bool EndFile(bool keep);

    // The last FindRoot, FindPath or FindFile gave -1 because its statement
    // failed (a busy or broken file), not because no row exists.
    bool LookupFailed() const { return m_lookupFailed; }

    bool IsNewRoot() const { return m_newRoot; }
    // From now on every folder and file is looked up: a batch was lost after
    // others of the new root were committed.
    void LookEveryRowUp() { m_newRoot = false; }
    int GetRootId() const { return m_rootId; }

    // A folder path as a prefix of the folders inside it (ends with '/'),
    // and the first text past every path that starts with it.
    static std::string FolderPrefix(const char* folder);
    static std::string PrefixEnd(const std::string& prefix);

protected:
    // One one-column row: its value as the last id; any other row: -1.
    void OnRow(int columns, char** values, char** names) override;

private:
    bool MakeSchema();
    void AddIndexes();
    void FinalizeQueries();
    // Prepares the query on first use; false (error kept) when it cannot.
    bool Ready(kiv::dbquery& query, const char* sql);
    int InsertWith(kiv::dbquery& query);
    int Lookup(kiv::dbquery& query);
    bool AnyPathInside(const char* folder);

    bool m_newRoot = false;
    int m_rootId = -1;
    int m_lastId = -1;
    bool m_lookupFailed = false;

    kiv::dbquery m_findRoot, m_insertRoot, m_findPath, m_insertPath, m_findFile, m_insertFile;
    kiv::dbquery m_insertInst, m_setKeyword, m_updateFile, m_pathInside, m_rootName;
    // Instrument inserts of 1 .. kInstrumentRowsPerInsert rows.
    kiv::dbquery m_insertInsts[corvane::kInstrumentRowsPerInsert];
    kiv::dbquery m_countInside, m_begin, m_commit, m_rollBack, m_fileBegin, m_fileUndo, m_fileEnd;
};
