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

// Runs one statement; its first column, when it returns a row, goes to `text`.
int step(sqlite3* db, const char* sql, std::string* text = nullptr) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
  while (rc == SQLITE_OK || rc == SQLITE_ROW) {
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW && text) {
      const unsigned char* t = sqlite3_column_text(st, 0);
      *text = t ? reinterpret_cast<const char*>(t) : "";
      text = nullptr;
    }
  }
  sqlite3_finalize(st);
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Builds the schema in `file`. A rollback journal puts every page in the
// file itself before COMMIT returns; the switch to WAL only rewrites the
// header, in its own journalled transaction.
unsigned build(const std::string& file, bool wal, const char* schema) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, schema, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  std::string mode;
  if (rc == SQLITE_OK && wal && (rc = step(db, "PRAGMA journal_mode=WAL", &mode)) == SQLITE_OK &&
      mode != "wal")
    rc = SQLITE_CANTOPEN;
  unsigned code = rc != SQLITE_OK ? winErrorFromSqlite(rc, db) : ERROR_SUCCESS;
  if (sqlite3_close(db) != SQLITE_OK && !code) code = ERROR_CANTWRITE;
  return code;
}

// Checks that the file alone, without any journal or WAL beside it, is a
// whole database with a schema: read as immutable, SQLite looks at nothing
// else.
unsigned verify(const std::string& file) {
  const std::string uri = immutableUri(file);
  sqlite3* db = nullptr;
  std::string check, tables;
  int rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  if (rc == SQLITE_OK) rc = step(db, "PRAGMA integrity_check", &check);
  if (rc == SQLITE_OK) rc = step(db, "SELECT count(*) FROM sqlite_schema", &tables);
  unsigned code = rc != SQLITE_OK ? winErrorFromSqlite(rc, db) : ERROR_SUCCESS;
  if (!code && (check != "ok" || tables == "0")) code = ERROR_CANTWRITE;
  sqlite3_close(db);
  return code;
}

}  // namespace

// A new hive is built complete under a private name, checked, and only
// then linked into place, so no process ever sees a half-made one (a full
// disk, say, fails the build or the check); when two processes race, the
// first link wins and the other's copy is dropped.
unsigned createHiveFile(const std::string& path, bool userHive, const char* schema) {
  if (unsigned rc = makeParentDirs(path, userHive ? 0700 : 0755)) return rc;
  const std::string tmp = path + ".new-" + std::to_string(getpid());
  // Made here rather than by SQLite, which hides why creation failed.
  int fd = open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, userHive ? 0600 : 0644);
  if (fd < 0) return winErrorFromErrno(errno);
  close(fd);
  unsigned code = build(tmp, userHive, schema);
  if (!code) code = verify(tmp);
  if (!code && link(tmp.c_str(), path.c_str()) != 0 && errno != EEXIST) code = winErrorFromErrno(errno);
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) unlink((tmp + suffix).c_str());
  // The new name must survive a crash as surely as the data behind it.
  std::string dir = path.substr(0, path.rfind('/') + 1);
  if (int dfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return code;
}

}  // namespace Halvex::Tessaran::PAL::detail
