#include "kiv/db/Db.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace kiv {

db::db() = default;

db::~db() { Close(); }

bool db::OpenFile(const char* path, bool create)
{
    Close();
    m_error[0] = '\0';
    m_errorCode = 0;
    if (!path || !path[0]) {
        SetError("no database path");
        return false;
    }
    // One thread at a time uses a connection: SQLite's own locking of it
    // would only cost time on every call.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* connection = nullptr;
    int rc = sqlite3_open_v2(path, &connection, flags, nullptr);
    if (rc != SQLITE_OK) {
        SetError(connection ? sqlite3_errmsg(connection) : "cannot open the database", rc & 0xff);
        // SQLite hands out a connection even when the open fails.
        if (connection)
            sqlite3_close(connection);
        return false;
    }
    m_connection = connection;
    m_opened = true;
    // The other program may hold the file's lock for a moment; waiting a
    // bounded time beats losing the row or the rating being written.
    if (m_busyMs > 0)
        sqlite3_busy_handler(connection, &db::BusyWait, this);
    else
        sqlite3_busy_timeout(connection, kDbBusyTimeoutMs);
    m_error[0] = '\0';
    m_errorCode = 0;
    return true;
}

void db::Close()
{
    // A statement still prepared keeps the connection until it is finalized.
    if (m_connection)
        sqlite3_close_v2(m_connection);
    m_connection = nullptr;
    m_opened = false;
}

int db::Insert(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    bool ok = Run(RowMode::kNone, fmt, args);
    va_end(args);
    return ok ? LastInsertId() : -1;
}

int db::LastInsertId() const
{
    if (!m_connection)
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

void db::SetBusyTimeout(int ms)
{
    m_busyMs = 0;
    m_busyCancel = nullptr;
    if (m_connection)
        sqlite3_busy_timeout(m_connection, ms);
}

void db::SetBusyWait(int ms, const std::atomic<uint8_t>* cancel)
{
    m_busyMs = ms;
    m_busyCancel = cancel;
    if (m_connection)
        sqlite3_busy_handler(m_connection, &db::BusyWait, this);
}

int db::BusyWait(void* self, int attempt)
{
    // Short steps, so a cancel is seen at once and a lock let go between
    // two of the other program's writes is taken quickly.
    constexpr int kStepMs = 2;
    auto* base = static_cast<db*>(self);
    int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
    if (attempt == 0)
        base->m_busySinceMs = now;
    if (base->m_busyCancel && base->m_busyCancel->load(std::memory_order_acquire) != 0)
        return 0;
    if (now - base->m_busySinceMs >= base->m_busyMs)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    return 1;
}

bool db::InTransaction() const { return m_connection && !sqlite3_get_autocommit(m_connection); }

bool db::IsBusyError() const { return m_errorCode == SQLITE_BUSY || m_errorCode == SQLITE_LOCKED; }

bool db::IsNotDatabaseError() const { return m_errorCode == SQLITE_NOTADB; }

bool db::IsReadOnlyError() const { return m_errorCode == SQLITE_READONLY; }

bool db::IsCannotOpenError() const { return m_errorCode == SQLITE_CANTOPEN; }

int db::Changes() const { return m_connection ? sqlite3_changes(m_connection) : 0; }

bool db::IsReadOnly() const { return m_connection && sqlite3_db_readonly(m_connection, "main") == 1; }

db::Problem db::GetProblem() const
{
    if (m_errorCode == 0)
        return Problem::kNone;
    if (IsBusyError())
        return Problem::kLocked;
    if (IsCannotOpenError())
        return Problem::kCannotOpen;
    if (IsNotDatabaseError())
        return Problem::kNotDatabase;
    if (IsReadOnlyError())
        return Problem::kReadOnly;
    return Problem::kOther;
}

std::string db::ProblemText(Problem problem, const std::string& path, const std::string& detail, bool creating)
{
    switch (problem) {
    case Problem::kLocked:
        return kDbTextLocked;
    case Problem::kCannotOpen: {
        std::string text = (creating ? kDbTextCannotCreate : kDbTextCannotOpen) + path;
        return detail.empty() ? text : text + ": " + detail;
    }
    case Problem::kNotDatabase:
        return path + kDbTextNotDatabase;
    case Problem::kReadOnly:
        return path + kDbTextReadOnly;
    default:
        return kDbTextFailed + detail;
    }
}

void db::SetCannotOpenError(const char* text) { SetError(text, SQLITE_CANTOPEN); }

void db::SetReadOnlyError(const char* text) { SetError(text, SQLITE_READONLY); }

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
    m_errorCode = 0;
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
        SetError(error, rc & 0xff);
        sqlite3_free(error);
    } else if (rc != SQLITE_OK) {
        SetErrorFromConnection(rc);
    }
    return rc == SQLITE_OK;
}

void db::SetError(const char* text, int code)
{
    snprintf(m_error, sizeof m_error, "%s", text ? text : "");
    m_errorCode = code;
}

void db::SetErrorFromConnection(int code)
{
    SetError(m_connection ? sqlite3_errmsg(m_connection) : "database not open", code & 0xff);
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

dbquery::~dbquery() { Finalize(); }

bool dbquery::Prepare(db& base, const char* sql)
{
    Finalize();
    m_base = &base;
    base.m_error[0] = '\0';
    base.m_errorCode = 0;
    if (!base.m_connection) {
        base.SetError("database not open");
        return false;
    }
    int rc = sqlite3_prepare_v2(base.m_connection, sql, -1, &m_statement, nullptr);
    if (rc != SQLITE_OK) {
        base.SetErrorFromConnection(rc);
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        return false;
    }
    return true;
}

void dbquery::Finalize()
{
    if (m_statement)
        sqlite3_finalize(m_statement);
    m_statement = nullptr;
}

void dbquery::Bind(int index, int value)
{
    if (m_statement)
        sqlite3_bind_int(m_statement, index, value);
}

void dbquery::Bind64(int index, int64_t value)
{
    if (m_statement)
        sqlite3_bind_int64(m_statement, index, value);
}

void dbquery::Bind(int index, const char* text)
{
    if (!m_statement)
        return;
    if (text)
        sqlite3_bind_text(m_statement, index, text, -1, SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(m_statement, index);
}

int dbquery::Step()
{
    if (!m_statement) {
        if (m_base)
            m_base->SetError("statement not prepared");
        return -1;
    }
    int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return 1;
    if (rc == SQLITE_DONE) {
        m_base->m_error[0] = '\0';
        m_base->m_errorCode = 0;
        return 0;
    }
    // The statement's own code: sqlite3_reset would report it again.
    m_base->SetErrorFromConnection(rc);
    sqlite3_reset(m_statement);
    return -1;
}

bool dbquery::Run()
{
    int rc;
    while ((rc = Step()) == 1) {
    }
    Reset();
    return rc == 0;
}

int dbquery::FirstInt(bool& failed)
{
    int rc = Step();
    failed = rc < 0;
    int value = rc == 1 && sqlite3_column_type(m_statement, 0) != SQLITE_NULL ? ColumnInt(0) : -1;
    Reset();
    return value;
}

int dbquery::ColumnInt(int column) const
{
    return m_statement ? sqlite3_column_int(m_statement, column) : 0;
}

int64_t dbquery::ColumnInt64(int column) const
{
    return m_statement ? sqlite3_column_int64(m_statement, column) : 0;
}

bool dbquery::IsNull(int column) const
{
    return !m_statement || sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

const char* dbquery::ColumnText(int column) const
{
    const unsigned char* text = m_statement ? sqlite3_column_text(m_statement, column) : nullptr;
    return text ? reinterpret_cast<const char*>(text) : "";
}

void dbquery::Reset()
{
    if (m_statement)
        sqlite3_reset(m_statement);
}

}  // namespace kiv
