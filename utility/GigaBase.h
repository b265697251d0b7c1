// GigaBase: the utility's instrument database "corvane.db": the schema and
// the lookups and inserts of a scan. Owned by the scanner; used by the scan
// thread while a scan runs and by the window thread otherwise.
//
// Names are compared exactly (byte for byte): on this platform two folders
// or files whose names differ only in case are different, and a '%' or '_'
// in a name is a character, not a pattern.
#pragma once
#include "kiv/db/Db.h"

class GigaBase : public kiv::db {
public:
    GigaBase();
    ~GigaBase() override;

    // Opens (creating when missing) "corvane.db" in the maker folder under
    // the all-users application-data folder and makes the four tables when
    // the file has none. False when the file cannot be opened or is not a
    // database (it is then left untouched).
    bool Open();
    // The same for a database file of the caller's choice.
    bool OpenAt(const char* path);

    // Finds the root row of the folder or inserts it; sets the root id and
    // the new-root flag. False when the root has no row (no database).
    bool UseRoot(const char* folder);
    // The root row of the folder as the user listed it, or -1.
    int FindRoot(const char* folder);
    // The number of file rows under a root (0 for -1 or on failure).
    int CountRootFiles(int rootId);

    // -1 at once for a new root (it can hold no rows yet), else the row id
    // or -1.
    int FindPath(const char* folder);
    int FindFile(int pathId, const char* name);

    // The new row's id or -1.
    int InsertPath(const char* folder);
    int InsertFile(int pathId, const char* name);
    int InsertInstrument(int fileId, const char* name, int position);
    bool SetKeyword(int fileId, const char* keyword);

    // A file row and its instruments are written as one transaction: a scan
    // cut short never leaves a file listed without all of its names (the
    // next scan would pass over it). Commit rolls back when it fails.
    bool Begin();
    bool Commit();
    void RollBack();

    // The last FindRoot, FindPath or FindFile gave -1 because its statement
    // failed (a busy or broken file), not because no row exists.
    bool LookupFailed() const { return m_lookupFailed; }

    bool IsNewRoot() const { return m_newRoot; }
    int GetRootId() const { return m_rootId; }

protected:
    // One one-column row: its value as the last id; any other row: -1.
    void OnRow(int columns, char** values, char** names) override;

private:
    bool MakeSchema();
    // Marks the running lookup as failed; -1.
    int MarkLookupFailed();

    bool m_newRoot = false;
    int m_rootId = -1;
    int m_lastId = -1;
    bool m_lookupFailed = false;
};
