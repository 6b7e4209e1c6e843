// Atomic creation of a hive file: nobody ever sees a half-made hive.
#pragma once

#include <string>

namespace Halvex::Tessaran::PAL::detail {

// Makes the missing parent folders and a new hive at `path` holding
// `schema` (a user hive in WAL mode, a machine hive with a rollback
// journal), built under a private name and linked into place. An existing
// file at `path` (another process won the race) is left as it is and is
// not an error.
unsigned createHiveFile(const std::string& path, bool userHive, const char* schema);

}  // namespace Halvex::Tessaran::PAL::detail
