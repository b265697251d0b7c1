// kiv::db: the small SQLite wrapper through which the utility and the
// plug-in's browser send their statements to the instrument database. Every
// statement is complete SQL text, formatted printf-style into the object's
// own buffer and run in autocommit mode. One connection per object, used by
// one thread at a time.
//
// Text values never go into a statement as they are: pass them through
// Quote and write them between single quotes ('%s'), so a name holding a
// quote, a percent sign or any other byte stays a literal.
#pragma once
#include "kiv/data/String.h"
#include "kiv/db/DbLimits.h"

#include <cstdarg>

struct sqlite3;

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

    // SQLite's text for the last failure, "" after a success.
    const char* GetError() const { return m_error; }
    const char* GetStatement() const { return m_statement; }

    // The value with every single quote doubled, to stand between single
    // quotes. Bytes are kept as they are; the text ends at its NUL.
    static kiv::string Quote(const char* value);

protected:
    // One result row of Query: column count, values (a value may be null)
    // and column names.
    virtual void OnRow(int columns, char** values, char** names);

private:
    enum class RowMode { kNone, kRows, kCount };
    bool Run(RowMode mode, const char* fmt, va_list args);
    bool Probe(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void SetError(const char* text);
    static int RowCallback(void* self, int columns, char** values, char** names);

    sqlite3* m_connection = nullptr;
    char m_statement[kDbStatementBytes] = {};
    bool m_opened = false;
    char m_error[kDbErrorBytes] = {};
    int m_rowCount = 0;
    RowMode m_rowMode = RowMode::kNone;
};

}  // namespace kiv
