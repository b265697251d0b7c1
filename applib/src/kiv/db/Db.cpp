#include "kiv/db/Db.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

namespace kiv {

db::db() = default;

db::~db() { Close(); }

bool db::OpenFile(const char* path, bool create)
{
    Close();
    m_error[0] = '\0';
    if (!path || !path[0]) {
        SetError("no database path");
        return false;
    }
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* connection = nullptr;
    int rc = sqlite3_open_v2(path, &connection, flags, nullptr);
    if (rc != SQLITE_OK) {
        SetError(connection ? sqlite3_errmsg(connection) : "cannot open the database");
        // SQLite hands out a connection even when the open fails.
        if (connection)
            sqlite3_close(connection);
        return false;
    }
    m_connection = connection;
    m_opened = true;
    // The other program may hold the file's lock for a moment; waiting a
    // bounded time beats losing the row or the rating being written.
    Exec("PRAGMA busy_timeout = %d;", kDbBusyTimeoutMs);
    m_error[0] = '\0';
    return true;
}

void db::Close()
{
    if (m_connection)
        sqlite3_close(m_connection);
    m_connection = nullptr;
    m_opened = false;
}

int db::Insert(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    bool ok = Run(RowMode::kNone, fmt, args);
    va_end(args);
    if (!ok)
        return -1;
    sqlite3_int64 id = sqlite3_last_insert_rowid(m_connection);
    // Ids are 32-bit throughout; a rowid beyond that cannot be a parent id.
    if (id < 0 || id > INT32_MAX)
        return -1;
    return static_cast<int>(id);
}

bool db::Query(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    bool ok = Run(RowMode::kRows, fmt, args);
    va_end(args);
    return ok;
}

bool db::Exec(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    bool ok = Run(RowMode::kNone, fmt, args);
    va_end(args);
    return ok;
}

bool db::HasTable(const char* name)
{
    m_rowCount = 0;
    kiv::string quoted = Quote(name);
    return Probe("SELECT name FROM sqlite_master WHERE name='%s';", quoted.CStr()) && m_rowCount > 0;
}

bool db::Probe(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    bool ok = Run(RowMode::kCount, fmt, args);
    va_end(args);
    return ok;
}

kiv::string db::Quote(const char* value)
{
    kiv::string out;
    if (!value)
        return out;
    size_t quotes = 0;
    size_t n = strlen(value);
    for (size_t i = 0; i < n; ++i)
        quotes += value[i] == '\'';
    out.Reserve(static_cast<int>(n + quotes + 1));
    if (!out.GetBuffer())
        return out;
    char* dst = out.GetBuffer();
    for (size_t i = 0; i < n; ++i) {
        *dst++ = value[i];
        if (value[i] == '\'')
            *dst++ = '\'';
    }
    *dst = '\0';
    out.UpdateLength();
    return out;
}

void db::OnRow(int, char**, char**) {}

bool db::Run(RowMode mode, const char* fmt, va_list args)
{
    m_error[0] = '\0';
    if (!fmt) {
        SetError("no statement");
        return false;
    }
    int n = vsnprintf(m_statement, sizeof m_statement, fmt, args);
    if (n < 0 || n >= static_cast<int>(sizeof m_statement)) {
        // A cut statement could still parse and do something else.
        m_statement[0] = '\0';
        SetError("statement too long");
        return false;
    }
    if (!m_connection) {
        SetError("database not open");
        return false;
    }
    char* error = nullptr;
    m_rowMode = mode;
    int rc = sqlite3_exec(m_connection, m_statement,
                          mode == RowMode::kNone ? nullptr : &db::RowCallback, this, &error);
    m_rowMode = RowMode::kNone;
    if (error) {
        SetError(error);
        sqlite3_free(error);
    } else if (rc != SQLITE_OK) {
        SetError(sqlite3_errmsg(m_connection));
    }
    return rc == SQLITE_OK;
}

void db::SetError(const char* text)
{
    snprintf(m_error, sizeof m_error, "%s", text ? text : "");
}

int db::RowCallback(void* self, int columns, char** values, char** names)
{
    auto* base = static_cast<db*>(self);
    if (base->m_rowMode == RowMode::kCount)
        ++base->m_rowCount;
    else
        base->OnRow(columns, values, names);
    return 0;
}

}  // namespace kiv
