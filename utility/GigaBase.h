// GigaBase: the utility's instrument database "corvane.db": the schema and
// the lookups, inserts, updates and removals of a scan. Owned by the
// scanner and used on its thread only (the window never waits for it).
//
// Names are compared exactly (byte for byte): on this platform two folders
// or files whose names differ only in case are different, and a '%' or '_'
// in a name is a character, not a pattern. Every statement is prepared once
// with its values bound, so no name is too long and none needs quoting.
//
// Beside the four tables that every build reads, the database keeps the
// size and modification time of each file read (table filestamp), so a
// rescan reads again exactly the files that changed, and the folder each root was last walked in (table rootplace). Builds that do
// not know these tables never read them; a file row without a stamp is read
// again, a root without a place has no earlier place to clean up.
#pragma once
#include "kiv/db/Db.h"
#include "kiv/file/FileStamp.h"
#include "utility/CorvaneLimits.h"

#include <string>
#include <vector>

// One instrument name read from a file, with its place in the file.
struct GigaName {
    std::string name;
    int position = 0;
};

// A file row as a lookup finds it.
struct GigaKnownFile {
    int id = -1;
    int version = -1;
    bool stamped = false;  // the row has a stamp
    file::FileStamp stamp;
};

// A file row under a folder, with its folder's path.
struct GigaListedFile {
    int id = -1;
    std::string folder;
    std::string name;
    bool stamped = false;
    file::FileStamp stamp;
};

class GigaBase : public kiv::db {
public:
    GigaBase();
    ~GigaBase() override;

    // Opens (creating when missing) "corvane.db" in the maker folder under
    // the all-users application-data folder and makes the four tables when
    // the file has none. False when the file cannot be opened or is not a
    // database (it is then left untouched). The lookups' indexes and the
    // stamp table are added to a file made without them; the file is
    // switched to write-ahead logging, so the plug-in can search while a
    // scan writes.
    bool Open();
    // The same for a database file of the caller's choice.
    bool OpenAt(const char* path);
    // The file opened last (or tried), for messages.
    const std::string& GetPath() const { return m_path; }
    // Makes what a scan writes into (the stamp table, the indexes) where it
    // is missing; false when they cannot be made (GetProblem says why).
    bool MakeAdditions();
    // False (the problem kept) when the file was opened read-only.
    bool CheckWritable();
    // The last failure (sorted by kiv::db::GetProblem) as a text for the
    // user ("" for none).
    std::string GetProblemText() const;

    // Finds the root row of the folder as the user listed it, or inserts
    // it; sets the root id and the new-root flag. The walk lists the
    // folders under walkedFolder (the listed folder with its links
    // resolved; the listed one when null). False when the root has no row
    // (no database, or a lookup failed). A root is new only when no folder
    // inside it is listed yet (roots may overlap: one folder scanned before
    // its parent).
    bool UseRoot(const char* folder, const char* walkedFolder = nullptr);
    // The root row of the folder as the user listed it, or -1.
    int FindRoot(const char* folder);
    // The number of file rows inside the root's folder (its links
    // resolved), whichever root listed them; 0 for -1, -1 on failure.
    int CountRootFiles(int rootId);
    // The number of file rows inside a folder; -1 on failure.
    int CountFilesInside(const char* folder);

    // -1 at once for a new root (it can hold no rows yet), else the row id
    // or -1.
    int FindPath(const char* folder);
    // As FindPath; known (when given) receives the row's version and stamp.
    int FindFile(int pathId, const char* name, GigaKnownFile* known = nullptr);
    // Every file row whose folder lies inside the folder (and, for a root id
    // of 0 or more, whose folder row that root made); false on failure.
    bool ListFilesInside(const char* folder, std::vector<GigaListedFile>& files, int rootId = -1);
    // The folder the root was last walked in, completely ("" when none is
    // recorded: a root never walked to its end, or a database made before
    // this was kept); failed is set when the lookup failed.
    std::string FindRootPlace(int rootId, bool& failed);
    bool SetRootPlace(int rootId, const char* walked);

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
    // Only the version (a file that could not be read again keeps the rest).
    bool SetVersion(int fileId, int version);
    bool SetStamp(int fileId, const file::FileStamp& stamp);
    // Gives a file row read again its new instruments. Instruments still
    // there keep their row and rating (see GigaRatings); the others are
    // removed and the new ones added unrated.
    bool ReplaceInstruments(int fileId, const std::vector<GigaName>& names);
    // A file's instrument names in the order of their place in the file.
    bool ReadNames(int fileId, std::vector<GigaName>& names);
    // The ratings of one file's instruments given to the same instruments
    // of another that has none yet (a file renamed or listed twice).
    bool CarryRatings(int fromFileId, int toFileId);
    // A file row with its instruments and stamp.
    bool RemoveFile(int fileId);
    // Folder rows inside the folder that list no file any more.
    bool RemoveEmptyFolders(const char* folder);

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
    struct StoredInstrument {
        int id;
        std::string name;
        int position;
        int rating;
    };
    bool MakeSchema();
    void AddIndexes();
    bool ReadInstruments(int fileId, std::vector<StoredInstrument>& out);
    void FinalizeQueries();
    // Prepares the query on first use; false (error kept) when it cannot.
    bool Ready(kiv::dbquery& query, const char* sql);
    int InsertWith(kiv::dbquery& query);
    int Lookup(kiv::dbquery& query);
    bool AnyPathInside(const char* folder);

    std::string m_path;
    bool m_newRoot = false;
    int m_rootId = -1;
    int m_lastId = -1;
    bool m_lookupFailed = false;

    kiv::dbquery m_findRoot, m_insertRoot, m_findPath, m_insertPath, m_findFile, m_insertFile;
    kiv::dbquery m_insertInst, m_setKeyword, m_updateFile, m_pathInside, m_rootName;
    // Instrument inserts of 1 .. kInstrumentRowsPerInsert rows.
    kiv::dbquery m_insertInsts[corvane::kInstrumentRowsPerInsert];
    kiv::dbquery m_countInside, m_begin, m_commit, m_rollBack, m_fileBegin, m_fileUndo, m_fileEnd;
    kiv::dbquery m_setVersion, m_setStamp, m_readInsts, m_movedInst, m_ratedInst, m_dropInst;
    kiv::dbquery m_dropInsts, m_dropStamp, m_dropFile, m_dropFolders, m_listInside, m_listRootInside;
    kiv::dbquery m_findPlace, m_setPlace;
};
