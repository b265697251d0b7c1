// kiv::db: the small SQLite wrapper through which the utility and the
// plug-in's browser send their statements to the instrument database. A
// statement is either complete SQL text formatted printf-style into the
// object's own buffer (Insert, Query, Exec), or a kiv::dbquery prepared once
// with its text values bound, which has no length limit and needs no
// quoting. One connection per object, used by one thread at a time.
//
// Text values never go into a formatted statement as they are: pass them
// through Quote and write them between single quotes ('%s'), so a name
// holding a quote, a percent sign or any other byte stays a literal.
#pragma once
#include "kiv/data/String.h"
#include "kiv/db/DbLimits.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace kiv {

class db {
public:
    db();
    db(const db&) = delete;
    db& operator=(const db&) = delete;
    virtual ~db();

    // Opens the database file read-write; create makes a missing file. An
    // open connection is closed first. False (and closed) on failure.
    bool OpenFile(const char* path, bool create);
    void Close();
    bool IsOpen() const { return m_opened; }

    // Runs the statement without row callback; -1 when it fails, else the
    // connection's last insert rowid.
    int Insert(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Runs the statement handing each result row to OnRow; false on failure.
    bool Query(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Runs the statement without row callback; false on failure.
    bool Exec(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    // The existence probe: true when the schema holds a table or other
    // object of that name. False also when the file is not a database.
    bool HasTable(const char* name);

    // The row id of the connection's last insert; -1 when it is beyond the
    // 32-bit ids used throughout.
    int LastInsertId() const;
    // How long a statement waits for another connection's lock, in ms.
    void SetBusyTimeout(int ms);
    // The same, and a non-zero cancel flag (set from any thread) ends the
    // wait at once: the statement then fails as busy. The flag must outlive
    // the connection.
    void SetBusyWait(int ms, const std::atomic<uint8_t>* cancel);
    // True while an explicit transaction is open (SQLite may end one by
    // itself after a failure such as a full disk).
    bool InTransaction() const;

    // Why the database could not be used, sorted from the last failure.
    enum class Problem {
        kNone,
        kLocked,        // another program holds its lock
        kCannotOpen,    // the file (or its folder) cannot be made or opened
        kNotDatabase,   // the file holds something else
        kReadOnly,      // it cannot be written
        kOther,         // SQLite's text says what
    };
    Problem GetProblem() const;
    // A problem with the database file at `path` in the words both programs
    // show, lower case first. `creating`: the file was to be made when
    // missing. `detail`: why a file cannot be opened ("" when unknown), or
    // SQLite's text for any other failure.
    static std::string ProblemText(Problem problem, const std::string& path, const std::string& detail,
                                   bool creating);

    // SQLite's text for the last failure, "" after a success.
    const char* GetError() const { return m_error; }
    // SQLite's primary result code of the last failure, 0 after a success.
    int GetErrorCode() const { return m_errorCode; }
    // The last failure was another connection's lock (busy or locked).
    bool IsBusyError() const;
    // The last failure was a file that is no database.
    bool IsNotDatabaseError() const;
    // The last failure was a file that cannot be written, or opened at all.
    bool IsReadOnlyError() const;
    bool IsCannotOpenError() const;
    // Rows changed by the last statement that changed rows.
    int Changes() const;
    // The file was opened read-only (the system would not let it be written).
    bool IsReadOnly() const;
    const char* GetStatement() const { return m_statement; }

    // The value with every single quote doubled, to stand between single
    // quotes. Bytes are kept as they are; the text ends at its NUL.
    static kiv::string Quote(const char* value);

protected:
    // One result row of Query: column count, values (a value may be null)
    // and column names.
    virtual void OnRow(int columns, char** values, char** names);
    // Keeps a failure's text (cut to the buffer) and result code.
    void SetError(const char* text, int code = 1);
    // A failure to make or open the file, or to write it.
    void SetCannotOpenError(const char* text);
    void SetReadOnlyError(const char* text);

private:
    friend class dbquery;
    enum class RowMode { kNone, kRows, kCount };
    bool Run(RowMode mode, const char* fmt, va_list args);
    bool Probe(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Keeps the connection's error text and code after a failed call.
    void SetErrorFromConnection(int code);
    static int RowCallback(void* self, int columns, char** values, char** names);
    static int BusyWait(void* self, int attempt);

    sqlite3* m_connection = nullptr;
    char m_statement[kDbStatementBytes] = {};
    bool m_opened = false;
    char m_error[kDbErrorBytes] = {};
    int m_errorCode = 0;
    int m_rowCount = 0;
    RowMode m_rowMode = RowMode::kNone;
    int m_busyMs = 0;
    const std::atomic<uint8_t>* m_busyCancel = nullptr;
    int64_t m_busySinceMs = 0;  // of the wait in progress
};

// A prepared statement of one kiv::db connection, run again and again with
// new bound values. Values are bound, never written into the text. It must
// be finalized (Finalize or destruction) before its connection is reopened.
// Failures keep their text and code in the connection object.
class dbquery {
public:
    dbquery() = default;
    dbquery(const dbquery&) = delete;
    dbquery& operator=(const dbquery&) = delete;
    ~dbquery();

    bool Prepare(db& base, const char* sql);
    void Finalize();
    bool IsPrepared() const { return m_statement != nullptr; }

    // Parameters count from 1. Text is copied; null binds NULL.
    void Bind(int index, int value);
    void Bind64(int index, int64_t value);
    void Bind(int index, const char* text);

    // One step: 1 a row is ready, 0 the statement is done, -1 a failure.
    int Step();
    // Runs to its end; false on failure. Resets the statement.
    bool Run();
    // The first column of the first row as an integer, or -1 when there is
    // none; `failed` tells a failure from a missing row. Resets.
    int FirstInt(bool& failed);
    // Columns of the current row (after Step gave 1); null text reads "".
    int ColumnInt(int column) const;
    int64_t ColumnInt64(int column) const;
    bool IsNull(int column) const;
    const char* ColumnText(int column) const;
    // Makes the statement ready to run again; bindings stay.
    void Reset();

private:
    db* m_base = nullptr;
    sqlite3_stmt* m_statement = nullptr;
};

}  // namespace kiv
