#include "utility/GigaBase.h"

#include "kiv/file/Dir.h"
#include "kiv/file/FileLimits.h"
#include "utility/CorvaneLimits.h"

#include <cstdlib>

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
#undef KIV_TABS7
#undef KIV_TABS8
#undef KIV_TABS9

}  // namespace

GigaBase::GigaBase() = default;

GigaBase::~GigaBase() = default;

bool GigaBase::Open()
{
    app::folder folder;
    if (!folder.Open(1, file::kMakerFolder)) {
        Close();
        return false;
    }
    const char* path = folder.GetFilePath(corvane::kDatabaseFile);
    if (!path || !path[0]) {
        Close();
        return false;
    }
    return OpenAt(path);
}

bool GigaBase::OpenAt(const char* path)
{
    m_newRoot = false;
    m_rootId = -1;
    if (!OpenFile(path, true))
        return false;
    if (HasTable("root"))
        return true;
    // An error here means the file is no database (or cannot be read): it
    // is not ours to overwrite.
    if (GetError()[0] || !MakeSchema()) {
        Close();
        return false;
    }
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

bool GigaBase::UseRoot(const char* folder)
{
    m_newRoot = false;
    m_rootId = FindRoot(folder);
    // A lookup that failed says nothing about the row: inserting then could
    // list the root twice.
    if (m_rootId < 0 && m_lookupFailed)
        return false;
    if (m_rootId < 0) {
        m_rootId = Insert("INSERT INTO root (rname) VALUES ('%s')", Quote(folder).CStr());
        m_newRoot = m_rootId >= 0;
    }
    return m_rootId >= 0;
}

int GigaBase::FindRoot(const char* folder)
{
    m_lookupFailed = false;
    m_lastId = -1;
    if (!Query("SELECT id from root WHERE rname = '%s';", Quote(folder).CStr()))
        return MarkLookupFailed();
    return m_lastId;
}

int GigaBase::CountRootFiles(int rootId)
{
    if (rootId < 0)
        return 0;
    m_lastId = -1;
    if (!Query("SELECT COUNT() FROM file JOIN path ON path_id = path.id WHERE path.root_id = %d;", rootId))
        return 0;
    return m_lastId < 0 ? 0 : m_lastId;
}

int GigaBase::FindPath(const char* folder)
{
    m_lookupFailed = false;
    if (m_newRoot)
        return -1;
    m_lastId = -1;
    if (!Query("SELECT id from path WHERE pname = '%s';", Quote(folder).CStr()))
        return MarkLookupFailed();
    return m_lastId;
}

int GigaBase::FindFile(int pathId, const char* name)
{
    m_lookupFailed = false;
    if (m_newRoot)
        return -1;
    m_lastId = -1;
    if (!Query("SELECT id from file WHERE path_id = %d AND fname = '%s';", pathId, Quote(name).CStr()))
        return MarkLookupFailed();
    return m_lastId;
}

int GigaBase::InsertPath(const char* folder)
{
    return Insert("INSERT INTO path (root_id, pname) VALUES (%d, '%s')", m_rootId, Quote(folder).CStr());
}

int GigaBase::InsertFile(int pathId, const char* name)
{
    return Insert("INSERT INTO file (path_id, fname, version) VALUES (%d,'%s',%d)", pathId,
                  Quote(name).CStr(), corvane::kFileVersion);
}

int GigaBase::InsertInstrument(int fileId, const char* name, int position)
{
    return Insert("INSERT INTO inst (file_id, iname, position, rating) VALUES (%d,'%s',%d,0)", fileId,
                  Quote(name).CStr(), position);
}

bool GigaBase::SetKeyword(int fileId, const char* keyword)
{
    return Exec("UPDATE file SET keyword = '%s' WHERE id = %d", Quote(keyword).CStr(), fileId);
}

int GigaBase::MarkLookupFailed()
{
    m_lookupFailed = true;
    return -1;
}

bool GigaBase::Begin() { return Exec("BEGIN;"); }

bool GigaBase::Commit()
{
    if (Exec("COMMIT;"))
        return true;
    RollBack();
    return false;
}

void GigaBase::RollBack() { Exec("ROLLBACK;"); }

void GigaBase::OnRow(int columns, char** values, char**)
{
    if (columns == 1 && values && values[0])
        m_lastId = atoi(values[0]);
    else
        m_lastId = -1;
}
