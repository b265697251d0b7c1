#include "utility/GigaBase.h"

#include "kiv/file/Dir.h"
#include "kiv/file/FileLimits.h"
#include "utility/CorvaneLimits.h"
#include "utility/GigaRatings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// The tables as the first utility created them; the texts are kept exactly,
// TAB runs included, so every copy of the file carries the same schema.
#define KIV_TABS7 "\t\t\t\t\t\t\t"
#define KIV_TABS8 "\t\t\t\t\t\t\t\t"
#define KIV_TABS9 "\t\t\t\t\t\t\t\t\t"
const char* const kSchema[] = {
    "CREATE TABLE root (" KIV_TABS8 " id INTEGER PRIMARY KEY," KIV_TABS7 " rname VARCHAR(255) )",
    "CREATE TABLE path (" KIV_TABS8 " id INTEGER PRIMARY KEY," KIV_TABS7 " root_id INTEGER," KIV_TABS9
    " pname VARCHAR(255) )",
    "CREATE TABLE file (" KIV_TABS8 "  id INTEGER PRIMARY KEY," KIV_TABS7 "  path_id INTEGER," KIV_TABS9
    "  version INTEGER," KIV_TABS9 "  fname VARCHAR(255)," KIV_TABS8 "  keyword VARCHAR(128) )",
    "CREATE TABLE inst (" KIV_TABS8 " id INTEGER PRIMARY KEY," KIV_TABS7 " file_id INTEGER," KIV_TABS9
    " position INTEGER," KIV_TABS9 " iname VARCHAR(64)," KIV_TABS9 " rating INTEGER )",
};
// What this build adds, by name: the lookups' indexes (a scan looks every
// folder and file up; not unique: a file made before them may list a row
// twice), the instruments by file (a file read again replaces its rows), and
// the stamps of the files read, and where each root was walked last (a root
// listed through a link follows the link to its new target, and the rows
// under the old one must still be checked). Earlier builds read none of them.
const char* const kAdditions[][2] = {
    {"root_rname", "CREATE INDEX IF NOT EXISTS root_rname ON root (rname)"},
    {"path_pname", "CREATE INDEX IF NOT EXISTS path_pname ON path (pname)"},
    {"file_path_fname", "CREATE INDEX IF NOT EXISTS file_path_fname ON file (path_id, fname)"},
    {"inst_file", "CREATE INDEX IF NOT EXISTS inst_file ON inst (file_id)"},
    {"filestamp", "CREATE TABLE IF NOT EXISTS filestamp (file_id INTEGER PRIMARY KEY, size INTEGER, "
                  "mtime INTEGER)"},
    {"rootplace", "CREATE TABLE IF NOT EXISTS rootplace (root_id INTEGER PRIMARY KEY, walked TEXT)"},
};
#undef KIV_TABS7
#undef KIV_TABS8
#undef KIV_TABS9

}  // namespace

GigaBase::GigaBase() = default;

GigaBase::~GigaBase() { FinalizeQueries(); }

bool GigaBase::Open()
{
    app::folder folder;
    file::Dir data(file::kCommonAppData);
    m_path = std::string(data.GetPath()) + file::kMakerFolder + "/" + corvane::kDatabaseFile;
    const char* path = folder.Open(1, file::kMakerFolder) ? folder.GetFilePath(corvane::kDatabaseFile) : nullptr;
    if (!path || !path[0]) {
        FinalizeQueries();
        Close();
        SetCannotOpenError("the maker folder cannot be made");
        return false;
    }
    return OpenAt(path);
}

bool GigaBase::OpenAt(const char* path)
{
    // Statements belong to the connection being replaced.
    FinalizeQueries();
    m_newRoot = false;
    m_rootId = -1;
    m_path = path ? path : "";
    if (!OpenFile(path, true))
        return false;
    if (!HasTable("root")) {
        // An error here means the file is no database (or cannot be read):
        // it is not ours to overwrite.
        if (GetError()[0] || !MakeSchema()) {
            Close();
            return false;
        }
    }
    // Readers (the plug-in's searches) and the scan's writes then never
    // wait for each other. A commit no longer waits for the disk: a crash
    // may lose the last batches, which the next scan fills in, but never
    // leaves the file inconsistent. Both are best effort: a file another
    // program holds keeps its mode and still works.
    Exec("PRAGMA journal_mode = WAL;");
    Exec("PRAGMA synchronous = NORMAL;");
    AddIndexes();
    return true;
}

bool GigaBase::MakeSchema()
{
    // All four tables or none: a half-made schema would never be completed,
    // since it is made only when the table root is missing.
    if (!Begin())
        return false;
    for (const char* table : kSchema) {
        if (!Exec("%s", table)) {
            RollBack();
            return false;
        }
    }
    return Commit();
}

void GigaBase::AddIndexes()
{
    // Made here when they can be; a scan makes them before it writes.
    MakeAdditions();
}

bool GigaBase::MakeAdditions()
{
    bool missing = false;
    for (const auto& addition : kAdditions) {
        if (!HasTable(addition[0]))
            missing = true;
        if (GetErrorCode() != 0)
            return false;
    }
    if (!missing)
        return true;
    if (!Begin())
        return false;
    for (const auto& addition : kAdditions) {
        if (!Exec("%s", addition[1])) {
            RollBack();
            return false;
        }
    }
    return Commit();
}

bool GigaBase::CheckWritable()
{
    if (!IsReadOnly())
        return true;
    SetReadOnlyError("attempt to write a readonly database");
    return false;
}

std::string GigaBase::GetProblemText() const
{
    switch (GetProblem()) {
    case Problem::kNone:
        return {};
    case Problem::kLocked:
        return "the database is locked by another program";
    case Problem::kCannotOpen:
        return "the database cannot be created or opened";
    case Problem::kNotDatabase:
        return "the database file holds no database";
    case Problem::kReadOnly:
        return "the database cannot be written";
    default:
        return GetError();
    }
}

void GigaBase::FinalizeQueries()
{
    for (kiv::dbquery* query :
         {&m_findRoot, &m_insertRoot, &m_findPath, &m_insertPath, &m_findFile, &m_insertFile, &m_insertInst,
          &m_setKeyword, &m_updateFile, &m_pathInside, &m_rootName, &m_countInside, &m_begin,
          &m_commit, &m_rollBack, &m_fileBegin, &m_fileUndo, &m_fileEnd, &m_setVersion, &m_setStamp,
          &m_readInsts, &m_movedInst, &m_ratedInst, &m_dropInst, &m_dropInsts, &m_dropStamp, &m_dropFile,
          &m_dropFolders, &m_listInside, &m_listRootInside, &m_findPlace, &m_setPlace})
        query->Finalize();
    for (kiv::dbquery& query : m_insertInsts)
        query.Finalize();
}

bool GigaBase::Ready(kiv::dbquery& query, const char* sql)
{
    return query.IsPrepared() || query.Prepare(*this, sql);
}

int GigaBase::InsertWith(kiv::dbquery& query)
{
    if (!query.Run())
        return -1;
    return LastInsertId();
}

int GigaBase::Lookup(kiv::dbquery& query)
{
    bool failed = false;
    int id = query.FirstInt(failed);
    m_lookupFailed = failed;
    return id;
}

std::string GigaBase::FolderPrefix(const char* folder)
{
    std::string prefix(folder ? folder : "");
    if (prefix.empty() || prefix.back() != '/')
        prefix += '/';
    return prefix;
}

std::string GigaBase::PrefixEnd(const std::string& prefix)
{
    // Every text that starts with the prefix sorts below the prefix with its
    // last byte, the separator, raised by one.
    std::string end = prefix;
    end.back() = static_cast<char>(end.back() + 1);
    return end;
}

bool GigaBase::AnyPathInside(const char* folder)
{
    if (!Ready(m_pathInside, "SELECT id FROM path WHERE pname >= ?1 AND pname < ?2 LIMIT 1;"))
        return true;
    std::string prefix = FolderPrefix(folder);
    m_pathInside.Bind(1, prefix.c_str());
    m_pathInside.Bind(2, PrefixEnd(prefix).c_str());
    bool failed = false;
    int id = m_pathInside.FirstInt(failed);
    // When in doubt, look every row up.
    return failed || id >= 0;
}

bool GigaBase::UseRoot(const char* folder, const char* walkedFolder)
{
    if (!walkedFolder)
        walkedFolder = folder;
    m_newRoot = false;
    m_rootId = FindRoot(folder);
    // A lookup that failed says nothing about the row: inserting then could
    // list the root twice.
    if (m_rootId < 0 && m_lookupFailed)
        return false;
    if (m_rootId < 0) {
        if (!Ready(m_insertRoot, "INSERT INTO root (rname) VALUES (?1);"))
            return false;
        m_insertRoot.Bind(1, folder);
        m_rootId = InsertWith(m_insertRoot);
        // A folder scanned before as a root of its own, or inside one,
        // already has rows under the new root's folder.
        m_newRoot = m_rootId >= 0 && !AnyPathInside(walkedFolder);
    }
    return m_rootId >= 0;
}

int GigaBase::FindRoot(const char* folder)
{
    m_lastId = -1;
    if (!Ready(m_findRoot, "SELECT id FROM root WHERE rname = ?1;")) {
        m_lookupFailed = true;
        return -1;
    }
    m_findRoot.Bind(1, folder);
    return Lookup(m_findRoot);
}

int GigaBase::CountRootFiles(int rootId)
{
    if (rootId < 0)
        return 0;
    if (!Ready(m_rootName, "SELECT rname FROM root WHERE id = ?1;"))
        return -1;
    m_rootName.Bind(1, rootId);
    int rc = m_rootName.Step();
    std::string folder = rc == 1 ? m_rootName.ColumnText(0) : "";
    m_rootName.Reset();
    if (rc != 1)
        return rc < 0 ? -1 : 0;
    // The walk lists the folder's rows under its real place.
    std::string real = file::RealFolder(folder.c_str());
    return CountFilesInside(real.empty() ? folder.c_str() : real.c_str());
}

int GigaBase::CountFilesInside(const char* folder)
{
    if (!Ready(m_countInside, "SELECT COUNT() FROM file JOIN path ON path_id = path.id "
                              "WHERE pname >= ?1 AND pname < ?2;"))
        return -1;
    std::string prefix = FolderPrefix(folder);
    m_countInside.Bind(1, prefix.c_str());
    m_countInside.Bind(2, PrefixEnd(prefix).c_str());
    bool failed = false;
    int count = m_countInside.FirstInt(failed);
    return failed ? -1 : std::max(count, 0);
}

bool GigaBase::ListFilesInside(const char* folder, std::vector<GigaListedFile>& files, int rootId)
{
    kiv::dbquery& query = rootId < 0 ? m_listInside : m_listRootInside;
    if (!Ready(query, rootId < 0 ? "SELECT file.id, pname, fname, size, mtime FROM file JOIN path ON path_id = path.id "
                                   "LEFT JOIN filestamp ON file_id = file.id WHERE pname >= ?1 AND pname < ?2;"
                                 : "SELECT file.id, pname, fname, size, mtime FROM file JOIN path ON path_id = path.id "
                                   "LEFT JOIN filestamp ON file_id = file.id WHERE pname >= ?1 AND pname < ?2 "
                                   "AND root_id = ?3;"))
        return false;
    std::string prefix = FolderPrefix(folder);
    query.Bind(1, prefix.c_str());
    query.Bind(2, PrefixEnd(prefix).c_str());
    if (rootId >= 0)
        query.Bind(3, rootId);
    int rc;
    while ((rc = query.Step()) == 1) {
        GigaListedFile listed;
        listed.id = query.ColumnInt(0);
        listed.folder = query.ColumnText(1);
        listed.name = query.ColumnText(2);
        listed.stamped = !query.IsNull(3) && !query.IsNull(4);
        listed.stamp.size = query.ColumnInt64(3);
        listed.stamp.modifiedNs = query.ColumnInt64(4);
        files.push_back(std::move(listed));
    }
    query.Reset();
    return rc == 0;
}

std::string GigaBase::FindRootPlace(int rootId, bool& failed)
{
    failed = !Ready(m_findPlace, "SELECT walked FROM rootplace WHERE root_id = ?1;");
    if (failed)
        return {};
    m_findPlace.Bind(1, rootId);
    int rc = m_findPlace.Step();
    std::string walked = rc == 1 && !m_findPlace.IsNull(0) ? m_findPlace.ColumnText(0) : "";
    m_findPlace.Reset();
    failed = rc < 0;
    return walked;
}

bool GigaBase::SetRootPlace(int rootId, const char* walked)
{
    if (!Ready(m_setPlace, "INSERT OR REPLACE INTO rootplace (root_id, walked) VALUES (?1, ?2);"))
        return false;
    m_setPlace.Bind(1, rootId);
    m_setPlace.Bind(2, walked);
    return m_setPlace.Run();
}

int GigaBase::FindPath(const char* folder)
{
    m_lookupFailed = false;
    if (m_newRoot)
        return -1;
    if (!Ready(m_findPath, "SELECT id FROM path WHERE pname = ?1;")) {
        m_lookupFailed = true;
        return -1;
    }
    m_findPath.Bind(1, folder);
    return Lookup(m_findPath);
}

int GigaBase::FindFile(int pathId, const char* name, GigaKnownFile* known)
{
    m_lookupFailed = false;
    if (known)
        *known = GigaKnownFile();
    if (m_newRoot)
        return -1;
    if (!Ready(m_findFile, "SELECT file.id, version, size, mtime FROM file LEFT JOIN filestamp "
                           "ON file_id = file.id WHERE path_id = ?1 AND fname = ?2;")) {
        m_lookupFailed = true;
        return -1;
    }
    m_findFile.Bind(1, pathId);
    m_findFile.Bind(2, name);
    int rc = m_findFile.Step();
    int id = rc == 1 ? m_findFile.ColumnInt(0) : -1;
    if (known && rc == 1) {
        known->id = id;
        known->version = m_findFile.ColumnInt(1);
        known->stamped = !m_findFile.IsNull(2) && !m_findFile.IsNull(3);
        known->stamp.size = m_findFile.ColumnInt64(2);
        known->stamp.modifiedNs = m_findFile.ColumnInt64(3);
    }
    m_findFile.Reset();
    m_lookupFailed = rc < 0;
    return id;
}

int GigaBase::InsertPath(const char* folder)
{
    if (!Ready(m_insertPath, "INSERT INTO path (root_id, pname) VALUES (?1, ?2);"))
        return -1;
    m_insertPath.Bind(1, m_rootId);
    m_insertPath.Bind(2, folder);
    return InsertWith(m_insertPath);
}

int GigaBase::InsertFile(int pathId, const char* name, int version, const char* keyword)
{
    if (!Ready(m_insertFile, "INSERT INTO file (path_id, fname, version, keyword) VALUES (?1, ?2, ?3, ?4);"))
        return -1;
    m_insertFile.Bind(1, pathId);
    m_insertFile.Bind(2, name);
    m_insertFile.Bind(3, version);
    m_insertFile.Bind(4, keyword && keyword[0] ? keyword : nullptr);
    return InsertWith(m_insertFile);
}

int GigaBase::InsertInstrument(int fileId, const char* name, int position)
{
    if (!Ready(m_insertInst, "INSERT INTO inst (file_id, iname, position, rating) VALUES (?1, ?2, ?3, 0);"))
        return -1;
    m_insertInst.Bind(1, fileId);
    m_insertInst.Bind(2, name);
    m_insertInst.Bind(3, position);
    return InsertWith(m_insertInst);
}

bool GigaBase::SetKeyword(int fileId, const char* keyword)
{
    if (!Ready(m_setKeyword, "UPDATE file SET keyword = ?1 WHERE id = ?2;"))
        return false;
    m_setKeyword.Bind(1, keyword);
    m_setKeyword.Bind(2, fileId);
    return m_setKeyword.Run();
}

bool GigaBase::InsertInstruments(int fileId, const std::vector<GigaName>& names)
{
    // A few rows per statement: a scan spends its time per statement more
    // than per row.
    for (size_t i = 0; i < names.size();) {
        int rows = static_cast<int>(std::min<size_t>(names.size() - i, corvane::kInstrumentRowsPerInsert));
        kiv::dbquery& query = m_insertInsts[rows - 1];
        if (!query.IsPrepared()) {
            std::string sql = "INSERT INTO inst (file_id, iname, position, rating) VALUES ";
            for (int row = 0; row < rows; ++row)
                sql += std::string(row ? ", " : "") + "(?1, ?" + std::to_string(2 * row + 2) + ", ?" +
                       std::to_string(2 * row + 3) + ", 0)";
            if (!query.Prepare(*this, (sql + ";").c_str()))
                return false;
        }
        query.Bind(1, fileId);
        for (int row = 0; row < rows; ++row, ++i) {
            query.Bind(2 * row + 2, names[i].name.c_str());
            query.Bind(2 * row + 3, names[i].position);
        }
        if (!query.Run())
            return false;
    }
    return true;
}

bool GigaBase::UpdateFile(int fileId, int version, const char* keyword)
{
    if (!Ready(m_updateFile, "UPDATE file SET version = ?1, keyword = ?2 WHERE id = ?3;"))
        return false;
    m_updateFile.Bind(1, version);
    m_updateFile.Bind(2, keyword && keyword[0] ? keyword : nullptr);
    m_updateFile.Bind(3, fileId);
    return m_updateFile.Run();
}

bool GigaBase::SetVersion(int fileId, int version)
{
    if (!Ready(m_setVersion, "UPDATE file SET version = ?1 WHERE id = ?2;"))
        return false;
    m_setVersion.Bind(1, version);
    m_setVersion.Bind(2, fileId);
    return m_setVersion.Run();
}

bool GigaBase::SetStamp(int fileId, const file::FileStamp& stamp)
{
    if (!Ready(m_setStamp, "INSERT OR REPLACE INTO filestamp (file_id, size, mtime) VALUES (?1, ?2, ?3);"))
        return false;
    m_setStamp.Bind(1, fileId);
    m_setStamp.Bind64(2, stamp.size);
    m_setStamp.Bind64(3, stamp.modifiedNs);
    return m_setStamp.Run();
}

bool GigaBase::ReadInstruments(int fileId, std::vector<StoredInstrument>& out)
{
    out.clear();
    if (!Ready(m_readInsts, "SELECT id, iname, position, rating FROM inst WHERE file_id = ?1 ORDER BY id;"))
        return false;
    m_readInsts.Bind(1, fileId);
    int rc;
    while ((rc = m_readInsts.Step()) == 1)
        out.push_back({m_readInsts.ColumnInt(0), m_readInsts.ColumnText(1), m_readInsts.ColumnInt(2),
                       m_readInsts.ColumnInt(3)});
    m_readInsts.Reset();
    return rc == 0;
}

namespace {

template <class T>
std::vector<GigaRatings::Entry> Entries(const std::vector<T>& list)
{
    std::vector<GigaRatings::Entry> entries;
    entries.reserve(list.size());
    for (const T& item : list)
        entries.push_back({item.name, item.position});
    return entries;
}

}  // namespace

bool GigaBase::ReplaceInstruments(int fileId, const std::vector<GigaName>& names)
{
    std::vector<StoredInstrument> before;
    if (!ReadInstruments(fileId, before))
        return false;
    std::vector<int> match = GigaRatings::Match(Entries(before), Entries(names));
    // Rows of instruments still there stay (their ids are what an open hit
    // list holds); the others go, the new ones come.
    std::vector<bool> kept(before.size(), false);
    std::vector<GigaName> added;
    for (size_t n = 0; n < names.size(); ++n) {
        int b = match[n];
        if (b < 0) {
            added.push_back(names[n]);
            continue;
        }
        kept[b] = true;
        if (before[b].position == names[n].position)
            continue;
        if (!Ready(m_movedInst, "UPDATE inst SET position = ?1 WHERE id = ?2;"))
            return false;
        m_movedInst.Bind(1, names[n].position);
        m_movedInst.Bind(2, before[b].id);
        if (!m_movedInst.Run())
            return false;
    }
    for (size_t b = 0; b < before.size(); ++b) {
        if (kept[b])
            continue;
        if (!Ready(m_dropInst, "DELETE FROM inst WHERE id = ?1;"))
            return false;
        m_dropInst.Bind(1, before[b].id);
        if (!m_dropInst.Run())
            return false;
    }
    return InsertInstruments(fileId, added);
}

bool GigaBase::ReadNames(int fileId, std::vector<GigaName>& names)
{
    std::vector<StoredInstrument> stored;
    if (!ReadInstruments(fileId, stored))
        return false;
    names.clear();
    for (const StoredInstrument& inst : stored)
        names.push_back({inst.name, inst.position});
    std::sort(names.begin(), names.end(),
              [](const GigaName& a, const GigaName& b) { return a.position < b.position; });
    return true;
}

bool GigaBase::CarryRatings(int fromFileId, int toFileId)
{
    std::vector<StoredInstrument> from, to;
    if (!ReadInstruments(fromFileId, from) || !ReadInstruments(toFileId, to))
        return false;
    std::vector<int> match = GigaRatings::Match(Entries(from), Entries(to));
    for (size_t n = 0; n < to.size(); ++n) {
        int b = match[n];
        if (b < 0 || from[b].rating <= 0 || to[n].rating != 0)
            continue;
        if (!Ready(m_ratedInst, "UPDATE inst SET rating = ?1 WHERE id = ?2;"))
            return false;
        m_ratedInst.Bind(1, from[b].rating);
        m_ratedInst.Bind(2, to[n].id);
        if (!m_ratedInst.Run())
            return false;
    }
    return true;
}

bool GigaBase::RemoveFile(int fileId)
{
    if (!Ready(m_dropInsts, "DELETE FROM inst WHERE file_id = ?1;") ||
        !Ready(m_dropStamp, "DELETE FROM filestamp WHERE file_id = ?1;") ||
        !Ready(m_dropFile, "DELETE FROM file WHERE id = ?1;"))
        return false;
    for (kiv::dbquery* query : {&m_dropInsts, &m_dropStamp, &m_dropFile}) {
        query->Bind(1, fileId);
        if (!query->Run())
            return false;
    }
    return true;
}

bool GigaBase::RemoveEmptyFolders(const char* folder)
{
    if (!Ready(m_dropFolders, "DELETE FROM path WHERE pname >= ?1 AND pname < ?2 "
                              "AND NOT EXISTS (SELECT 1 FROM file WHERE path_id = path.id);"))
        return false;
    std::string prefix = FolderPrefix(folder);
    m_dropFolders.Bind(1, prefix.c_str());
    m_dropFolders.Bind(2, PrefixEnd(prefix).c_str());
    return m_dropFolders.Run();
}

bool GigaBase::Begin() { return Ready(m_begin, "BEGIN IMMEDIATE;") && m_begin.Run(); }

bool GigaBase::Commit()
{
    for (int attempt = 0; attempt < corvane::kWriteAttempts; ++attempt) {
        if (Ready(m_commit, "COMMIT;") && m_commit.Run())
            return true;
        if (!IsBusyError() || !InTransaction())
            break;
    }
    RollBack();
    return false;
}

void GigaBase::RollBack()
{
    // SQLite may have ended the transaction itself after the failure, and
    // the failure's text is what the caller reports.
    if (!InTransaction())
        return;
    std::string error = GetError();
    int code = GetErrorCode();
    if (Ready(m_rollBack, "ROLLBACK;"))
        m_rollBack.Run();
    SetError(error.c_str(), code);
}

bool GigaBase::BeginFile() { return Ready(m_fileBegin, "SAVEPOINT gigfile;") && m_fileBegin.Run(); }

bool GigaBase::EndFile(bool keep)
{
    if (keep && Ready(m_fileEnd, "RELEASE gigfile;") && m_fileEnd.Run())
        return keep;
    if (!InTransaction())
        return false;
    std::string error = GetError();
    int code = GetErrorCode();
    if (Ready(m_fileUndo, "ROLLBACK TO gigfile;"))
        m_fileUndo.Run();
    if (Ready(m_fileEnd, "RELEASE gigfile;"))
        m_fileEnd.Run();
    SetError(error.c_str(), code);
    return false;
}

void GigaBase::OnRow(int columns, char** values, char**)
{
    if (columns == 1 && values && values[0])
        m_lastId = atoi(values[0]);
    else
        m_lastId = -1;
}
