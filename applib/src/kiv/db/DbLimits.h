// Sizes of the SQLite wrapper kiv::db, and the words both programs show for
// what is wrong with the database (kiv::db::ProblemText).
#pragma once

namespace kiv {

// One complete statement, NUL included; a longer one is refused, never cut.
constexpr int kDbStatementBytes = 2048;
// The error text kept from SQLite (longer texts are cut).
constexpr int kDbErrorBytes = 256;
// How long a statement waits for another program's lock on the file, in ms.
constexpr int kDbBusyTimeoutMs = 2000;

constexpr const char* kDbTextLocked = "the database is locked by another program";
constexpr const char* kDbTextCannotCreate = "cannot create the database ";  // then the path
constexpr const char* kDbTextCannotOpen = "cannot open the database ";      // then the path
constexpr const char* kDbTextNotDatabase = " is not a database";            // after the path
constexpr const char* kDbTextReadOnly = " cannot be written";               // after the path
constexpr const char* kDbTextFailed = "the database failed: ";              // then SQLite's text

}  // namespace kiv
