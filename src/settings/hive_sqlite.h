// The SQLite hive: a SettingsHive kept in one SQLite database file.
#pragma once

#include <memory>
#include <string>

#include "settings/settings_store.h"

struct sqlite3;

namespace Halvex::Tessaran::PAL::detail {

// A hive over the database at `path`, connected on first use. `readOnly`
// refuses every write. `userHive` makes missing folders and the file private
// to the user and keeps the file in WAL mode; the machine hive is kept in
// rollback-journal mode, which readers use without writing anything.
std::shared_ptr<SettingsHive> openSqliteHive(std::string path, bool readOnly, bool userHive);

// Reads `size` bytes of the database file's header at `offset`, without
// a lock (the file's own copy, not what a transaction would see).
bool readDatabaseHeader(sqlite3* db, int offset, void* out, int size);

// The URI that opens `path` as immutable: read-only, without locks, and
// without looking at any journal, WAL or -shm file beside it.
std::string immutableUri(const std::string& path);

// The Windows error code for a SQLite result code; `db` (may be null) gives
// the system error behind an I/O failure.
unsigned winErrorFromSqlite(int rc, sqlite3* db);

}  // namespace Halvex::Tessaran::PAL::detail
