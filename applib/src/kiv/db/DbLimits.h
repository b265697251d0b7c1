// Sizes of the SQLite wrapper kiv::db.
#pragma once

namespace kiv {

// One complete statement, NUL included; a longer one is refused, never cut.
constexpr int kDbStatementBytes = 2048;
// The error text kept from SQLite (longer texts are cut).
constexpr int kDbErrorBytes = 256;
// How long a statement waits for another program's lock on the file, in ms.
constexpr int kDbBusyTimeoutMs = 2000;

}  // namespace kiv
