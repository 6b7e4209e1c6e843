// The SQLite hive: a SettingsHive kept in one SQLite database file.
#pragma once

#include <memory>
#include <string>

#include "settings/settings_store.h"

struct sqlite3;

namespace Halvex::Tessaran::PAL::detail {

// A hive over the database at `path`, connected on first use. `readOnly`
// refuses every write; `userHive` makes missing folders and the file private
// to the user.
std::shared_ptr<SettingsHive> openSqliteHive(std::string path, bool readOnly, bool userHive);

// The Windows error code for a SQLite result code; `db` (may be null) gives
// the system error behind an I/O failure.
unsigned winErrorFromSqlite(int rc, sqlite3* db);

}  // namespace Halvex::Tessaran::PAL::detail
