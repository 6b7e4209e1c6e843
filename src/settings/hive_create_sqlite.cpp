// Atomic creation of a SQLite hive file.
#include "settings/hive_create_sqlite.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix_util.h"
#include "settings/hive_sqlite.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

unsigned makeParentDirs(const std::string& file, mode_t mode) {
  for (size_t pos = file.find('/', 1); pos != std::string::npos; pos = file.find('/', pos + 1)) {
    std::string dir = file.substr(0, pos);
    if (mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return winErrorFromErrno(errno);
  }
  return ERROR_SUCCESS;
}

}  // namespace

// A new hive is built complete under a private name and linked into
// place, so no process ever sees a half-made one; when two processes
// race, the first link wins and the other's copy is dropped.
unsigned createHiveFile(const std::string& path, bool userHive, const char* schema) {
  if (unsigned rc = makeParentDirs(path, userHive ? 0700 : 0755)) return rc;
  const std::string tmp = path + ".new-" + std::to_string(getpid());
  // Made here rather than by SQLite, which hides why creation failed.
  int fd = open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, userHive ? 0600 : 0644);
  if (fd < 0) return winErrorFromErrno(errno);
  close(fd);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(tmp.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, schema, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  unsigned code = rc != SQLITE_OK ? winErrorFromSqlite(rc, db) : ERROR_SUCCESS;
  if (sqlite3_close(db) != SQLITE_OK && !code) code = ERROR_CANTWRITE;
  if (!code && link(tmp.c_str(), path.c_str()) != 0 && errno != EEXIST) code = winErrorFromErrno(errno);
  unlink(tmp.c_str());
  // The new name must survive a crash as surely as the data behind it.
  std::string dir = path.substr(0, path.rfind('/') + 1);
  if (int dfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return code;
}

}  // namespace Halvex::Tessaran::PAL::detail
