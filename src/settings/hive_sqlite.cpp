// The SQLite hive: one database file per hive, one transaction per change.
#include "settings/hive_sqlite.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <mutex>

#include "base/case_fold.h"
#include "base/utf16.h"
#include "platform/posix_util.h"
#include "settings/hive_create_sqlite.h"
#include "settings/hive_read_cache_sqlite.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// Marks a database as a settings hive, so that a foreign SQLite file given
// as a hive is refused rather than modified ("KvSt").
constexpr int kApplicationId = 0x4B765374;
constexpr SettingsHive::KeyId kRootId = 1;
// Long enough to ride out another process's write burst, short enough that
// a wedged writer turns into an error instead of a hang.
constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema =
    "PRAGMA application_id=1266045812;"
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, UNIQUE(parent, fold));"
    "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, fold)) WITHOUT ROWID;"
    "INSERT INTO keys(id, parent, name, fold) VALUES(1, NULL, '', '');";
static_assert(kApplicationId == 1266045812);

struct Name {
  std::u16string text;
  std::u16string fold;
};

unsigned makeName(std::wstring_view name, size_t maxUnits, Name& out) {
  if (name.find(L'\0') != std::wstring_view::npos) return ERROR_INVALID_PARAMETER;
  out.text = wideToUtf16(name);
  if (out.text.size() > maxUnits) return ERROR_INVALID_PARAMETER;
  // Names compare by the one locale-independent fold.
  std::wstring folded(name);
  for (auto& c : folded) c = foldCase(c);
  out.fold = wideToUtf16(folded);
  return ERROR_SUCCESS;
}

unsigned splitPath(std::wstring_view path, std::vector<Name>& parts) {
  parts.clear();
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring_view::npos) end = path.size();
    if (end > start) {
      Name n;
      if (unsigned rc = makeName(path.substr(start, end - start), kMaxKeyNameLength, n)) return rc;
      parts.push_back(std::move(n));
    }
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

std::wstring columnText(sqlite3_stmt* st, int col) {
  auto* p = static_cast<const char16_t*>(sqlite3_column_text16(st, col));
  if (!p) return {};
  return utf16ToWide(std::u16string_view(p, static_cast<size_t>(sqlite3_column_bytes16(st, col)) / 2));
}

std::vector<unsigned char> columnBlob(sqlite3_stmt* st, int col) {
  auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, col));
  return std::vector<unsigned char>(p, p + sqlite3_column_bytes(st, col));
}

void bindText(sqlite3_stmt* st, int i, const std::u16string& s) {
  sqlite3_bind_text16(st, i, s.data(), static_cast<int>(s.size() * 2), SQLITE_STATIC);
}

class SqliteHive final : public SettingsHive {
 public:
  SqliteHive(std::string path, bool readOnly, bool userHive)
      : path_(std::move(path)), readOnly_(readOnly), userHive_(userHive) {}

  ~SqliteHive() override {
    for (auto* st : stmts_) sqlite3_finalize(st);
    if (db_) sqlite3_close(db_);
  }

  unsigned openKey(std::wstring_view path, KeyId& id) override {
    std::vector<Name> parts;
    if (unsigned rc = splitPath(path, parts)) return rc;
    std::lock_guard lock(mu_);
    if (unsigned rc = connect(kRead)) {
      // An absent hive still has its (empty) root.
      if (rc != ERROR_FILE_NOT_FOUND || !parts.empty()) return rc;
      id = kRootId;
      return ERROR_SUCCESS;
    }
    return walk(parts, false, id);
  }

  unsigned createKey(std::wstring_view path, KeyId& id) override {
    std::vector<Name> parts;
    if (unsigned rc = splitPath(path, parts)) return rc;
    std::lock_guard lock(mu_);
    return write(kCreate, [&] { return walk(parts, true, id); });
  }

  unsigned getValue(KeyId key, std::wstring_view name, StoreValue& out) override {
    Name n;
    if (unsigned rc = makeName(name, kMaxValueNameLength, n)) return rc;
    std::lock_guard lock(mu_);
    if (unsigned rc = connect(kRead)) return rc;
    // In WAL mode only connections that may write have the shared WAL index
    // mapped (a read-only one may see a private copy of its header); an
    // immutable connection checks for a WAL at every call instead.
    const bool cacheable = wal_ ? walSeen_ && writable_ : !immutable_;
    const auto stamp = wal_ ? HiveReadCache::kWalIndex : HiveReadCache::kChangeCounter;
    if (unsigned rc; cacheable && cache_.find(db_, stamp, key, n.fold, rc, out)) return rc;
    unsigned rc = queryValue(key, n.fold, out);
    if (cacheable) cache_.keep(db_, key, std::move(n.fold), rc, out);
    walSeen_ = true;
    return rc;
  }

  unsigned setValue(KeyId key, const StoreValue& value) override {
    Name n;
    if (unsigned rc = makeName(value.name, kMaxValueNameLength, n)) return rc;
    std::lock_guard lock(mu_);
    return write(kCreate, [&] { return putValue(key, n, value); });
  }

  unsigned deleteValue(KeyId key, std::wstring_view name) override {
    Name n;
    if (unsigned rc = makeName(name, kMaxValueNameLength, n)) return rc;
    std::lock_guard lock(mu_);
    return write(kWrite, [&] { return dropValue(key, n); });
  }

  unsigned deleteTree(std::wstring_view path) override {
    std::vector<Name> parts;
    if (unsigned rc = splitPath(path, parts)) return rc;
    std::lock_guard lock(mu_);
    return write(kWrite, [&] { return dropTree(parts); });
  }

  unsigned subkeys(KeyId key, std::vector<std::wstring>& names) override {
    names.clear();
    std::lock_guard lock(mu_);
    return list(kSubkeys, key, [&](sqlite3_stmt* st) { names.push_back(columnText(st, 0)); });
  }

  unsigned values(KeyId key, std::vector<StoreValue>& values) override {
    values.clear();
    std::lock_guard lock(mu_);
    return list(kValues, key, [&](sqlite3_stmt* st) {
      values.push_back(
          {columnText(st, 0), static_cast<DWORD>(sqlite3_column_int64(st, 1)), columnBlob(st, 2)});
    });
  }

  unsigned apply(const std::vector<StoreChange>& changes) override {
    // Names are checked before the transaction so a bad one changes nothing.
    struct Prepared {
      std::vector<Name> path;
      Name value;
    };
    std::vector<Prepared> prepared(changes.size());
    for (size_t i = 0; i < changes.size(); ++i) {
      if (unsigned rc = splitPath(changes[i].path, prepared[i].path)) return rc;
      if (unsigned rc = makeName(changes[i].value.name, kMaxValueNameLength, prepared[i].value)) return rc;
    }
    // Deletions alone do not bring a missing hive into being.
    bool creates = false;
    for (const auto& c : changes)
      creates |= c.kind == StoreChange::CreateKey || c.kind == StoreChange::SetValue;
    std::lock_guard lock(mu_);
    unsigned rc = write(creates ? kCreate : kWrite, [&]() -> unsigned {
      for (size_t i = 0; i < changes.size(); ++i) {
        const auto& c = changes[i];
        const auto& p = prepared[i];
        KeyId id = kRootId;
        unsigned rc = ERROR_SUCCESS;
        switch (c.kind) {
          case StoreChange::CreateKey:
            rc = walk(p.path, true, id);
            break;
          case StoreChange::DeleteTree:
            rc = dropTree(p.path);
            if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;  // deleting an absent key is no change
            break;
          case StoreChange::SetValue:
            rc = walk(p.path, true, id);
            if (!rc) rc = putValue(id, p.value, c.value);
            break;
          case StoreChange::DeleteValue:
            rc = walk(p.path, false, id);
            if (!rc) rc = dropValue(id, p.value);
            if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
            break;
        }
        if (rc) return rc;
      }
      return ERROR_SUCCESS;
    });
    return rc == ERROR_FILE_NOT_FOUND && !creates ? ERROR_SUCCESS : rc;
  }

  const std::string& path() const { return path_; }

 private:
  enum StmtId {
    kGetValue,
    kKeyExists,
    kChild,
    kInsertKey,
    kPutValue,
    kDropValue,
    kDropTreeVals,
    kDropTreeKeys,
    kSubkeys,
    kValues,
    kStmtCount
  };

  static constexpr const char* kSql[kStmtCount] = {
      "SELECT type, data FROM vals WHERE key=?1 AND fold=?2",
      "SELECT 1 FROM keys WHERE id=?1",
      "SELECT id FROM keys WHERE parent=?1 AND fold=?2",
      "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)",
      "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
      " ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, data=excluded.data",
      "DELETE FROM vals WHERE key=?1 AND fold=?2",
      "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent=sub.id)"
      " DELETE FROM vals WHERE key IN sub",
      "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent=sub.id)"
      " DELETE FROM keys WHERE id IN sub AND id<>1",
      "SELECT name FROM keys WHERE parent=?1 ORDER BY fold",
      "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY fold",
  };

  unsigned fromSqlite(int rc) const { return winErrorFromSqlite(rc, db_); }

  unsigned exec(const char* sql) { return fromSqlite(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }

  // Reads one integer pragma or count; false when the file is not a database.
  bool queryInt(const char* sql, sqlite3_int64& out, int& rc) {
    sqlite3_stmt* st = nullptr;
    rc = sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(st);
      if (rc == SQLITE_ROW) out = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    return rc == SQLITE_ROW;
  }

  enum Schema { kEmpty, kOurs };
  unsigned checkSchema(Schema& schema) {
    sqlite3_int64 appId = 0, tables = 0;
    int rc;
    if (!queryInt("PRAGMA application_id", appId, rc)) return fromSqlite(rc);
    if (!queryInt("SELECT count(*) FROM sqlite_schema", tables, rc)) return fromSqlite(rc);
    if (appId == kApplicationId) {
      schema = kOurs;
      return ERROR_SUCCESS;
    }
    if (appId == 0 && tables == 0) {
      schema = kEmpty;
      return ERROR_SUCCESS;
    }
    return ERROR_BADDB;
  }

  void disconnect() {
    for (auto*& st : stmts_) {
      sqlite3_finalize(st);
      st = nullptr;
    }
    sqlite3_close(db_);
    db_ = nullptr;
    ready_ = false;
    immutable_ = false;
    walSeen_ = false;
    cache_.clear();
  }

  unsigned open(bool immutable) {
    const std::string name = immutable ? immutableUri(path_) : path_;
    int flags = readOnly_ || immutable ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (immutable) flags |= SQLITE_OPEN_URI;
    int rc = sqlite3_open_v2(name.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      unsigned code = fromSqlite(rc);
      sqlite3_close(db_);
      db_ = nullptr;
      return code;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    immutable_ = immutable;
    if (immutable) immutableFile_ = fileStamp();
    // A file we may not write is opened read-only by SQLite; writing then
    // is access denied, as for a registry hive the caller may not change.
    writable_ = !readOnly_ && !immutable && sqlite3_db_readonly(db_, "main") == 0;
    return ERROR_SUCCESS;
  }

  // The file format's read version: 2 for WAL, 1 for a rollback journal.
  bool walFormat() {
    unsigned char version = 0;
    return readDatabaseHeader(db_, 19, &version, 1) && version == 2;
  }

  // What changes when anyone writes the file: its identity, size and time.
  struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime = {};
    bool operator==(const FileStamp& o) const {
      return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
             mtime.tv_nsec == o.mtime.tv_nsec;
    }
  };
  FileStamp fileStamp() const {
    struct stat sb;
    if (stat(path_.c_str(), &sb) != 0) return {};
    return {sb.st_dev, sb.st_ino, sb.st_size, sb.st_mtim};
  }

  // Whether a WAL beside the file holds commits not yet in the file.
  bool walHasFrames() const {
    struct stat sb;
    return stat((path_ + "-wal").c_str(), &sb) == 0 && sb.st_size > 0;
  }

  // The user hive stays in WAL mode, for its many concurrent readers and
  // writers; the machine hive in rollback-journal mode, which a reader uses
  // without writing anything. A hive found in the other mode is switched
  // when no other connection has it open; else a later writer switches it.
  void keepJournalMode() {
    if (walFormat() == userHive_) return;
    sqlite3_busy_timeout(db_, 0);
    exec(userHive_ ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=DELETE");
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  }

  // What a connection is wanted for. Only kCreate makes a missing hive;
  // otherwise a missing file (or an empty database, for reading) is
  // ERROR_FILE_NOT_FOUND and nothing is created.
  enum Use { kRead, kWrite, kCreate };

  unsigned connect(Use use) {
    const bool forWrite = use != kRead;
    if (forWrite && readOnly_) return ERROR_ACCESS_DENIED;
    // A hive read as immutable had no writer when opened. Once one leaves
    // commits in a WAL, the file alone is out of date (and SQLite can now
    // share the writer's -shm read-only); once one has folded its WAL into
    // the file, the pages this connection holds are.
    if (immutable_ && (walHasFrames() || !(fileStamp() == immutableFile_))) disconnect();
    if (ready_ && (!forWrite || writable_)) return ERROR_SUCCESS;
    if (!db_) {
      struct stat sb;
      bool present = stat(path_.c_str(), &sb) == 0;
      if (!present && use != kCreate) return ERROR_FILE_NOT_FOUND;
      if (!present) {
        if (unsigned rc = createHiveFile(path_, userHive_, kSchema)) return rc;
      }
      if (unsigned rc = open(false)) return rc;
    }
    if (forWrite && !writable_) return ERROR_ACCESS_DENIED;
    Schema schema;
    unsigned rc = checkSchema(schema);
    // A WAL hive that this process may not write, in a folder where it may
    // not make the -shm file either: with no commits pending in a WAL, the
    // file alone is the whole hive and is read as immutable.
    if (rc && rc != ERROR_BADDB && !writable_ && !immutable_ && walFormat() && !walHasFrames()) {
      disconnect();
      rc = open(true);
      if (!rc) rc = checkSchema(schema);
    }
    if (rc) {
      disconnect();
      return rc;
    }
    if (schema == kEmpty) {
      if (!forWrite) return ERROR_FILE_NOT_FOUND;
      if (unsigned rc = initialize()) {
        disconnect();
        return rc;
      }
    }
    if (writable_) {
      if (unsigned rc = exec("PRAGMA synchronous=FULL")) return rc;
      keepJournalMode();
    }
    wal_ = walFormat();
    ready_ = true;
    return ERROR_SUCCESS;
  }

  // Gives an existing empty file (say, made by touch) the schema in place.
  unsigned initialize() {
    // The schema is created under the write lock, re-checked in case another
    // process won the race; connect() then sets the journal mode.
    if (unsigned rc = exec("BEGIN IMMEDIATE")) return rc;
    Schema schema;
    unsigned rc = checkSchema(schema);
    if (!rc && schema == kEmpty) rc = exec(kSchema);
    if (!rc) rc = exec("COMMIT");
    if (rc) exec("ROLLBACK");
    return rc;
  }

  unsigned prepare(StmtId id, sqlite3_stmt*& st) {
    if (!stmts_[id]) {
      int rc = sqlite3_prepare_v3(db_, kSql[id], -1, SQLITE_PREPARE_PERSISTENT, &stmts_[id], nullptr);
      if (rc != SQLITE_OK) return fromSqlite(rc);
    }
    st = stmts_[id];
    return ERROR_SUCCESS;
  }

  // Runs a statement that returns no rows worth keeping.
  template <typename Bind>
  unsigned run(StmtId id, Bind bind) {
    sqlite3_stmt* st = nullptr;
    if (unsigned rc = prepare(id, st)) return rc;
    bind(st);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return rc == SQLITE_ROW ? ERROR_SUCCESS : fromSqlite(rc);
  }

  template <typename Row>
  unsigned list(StmtId id, KeyId key, Row row) {
    if (unsigned rc = connect(kRead))
      return rc == ERROR_FILE_NOT_FOUND && key == kRootId ? ERROR_SUCCESS : rc;
    sqlite3_stmt* st = nullptr;
    if (unsigned rc = prepare(id, st)) return rc;
    sqlite3_bind_int64(st, 1, key);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) row(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) return fromSqlite(rc);
    return missingKeyOr(key, ERROR_SUCCESS);
  }

  unsigned queryValue(KeyId key, const std::u16string& fold, StoreValue& out) {
    sqlite3_stmt* st = nullptr;
    if (unsigned rc = prepare(kGetValue, st)) return rc;
    sqlite3_bind_int64(st, 1, key);
    bindText(st, 2, fold);
    int step = sqlite3_step(st);
    if (step == SQLITE_ROW) {
      out.type = static_cast<DWORD>(sqlite3_column_int64(st, 0));
      out.data = columnBlob(st, 1);
    }
    sqlite3_reset(st);
    if (step == SQLITE_ROW) return ERROR_SUCCESS;
    if (step != SQLITE_DONE) return fromSqlite(step);
    return missingKeyOr(key, ERROR_FILE_NOT_FOUND);
  }

  // ERROR_KEY_DELETED when the key no longer exists, else `otherwise`.
  unsigned missingKeyOr(KeyId key, unsigned otherwise) {
    if (key == kRootId) return otherwise;
    sqlite3_stmt* st = nullptr;
    if (unsigned rc = prepare(kKeyExists, st)) return rc;
    sqlite3_bind_int64(st, 1, key);
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc == SQLITE_ROW) return otherwise;
    return rc == SQLITE_DONE ? ERROR_KEY_DELETED : fromSqlite(rc);
  }

  // Runs body inside one IMMEDIATE transaction: all of it or nothing.
  template <typename Body>
  unsigned write(Use use, Body body) {
    if (unsigned rc = connect(use)) return rc;
    if (unsigned rc = exec("BEGIN IMMEDIATE")) return rc;
    unsigned rc = body();
    if (!rc) rc = exec("COMMIT");
    if (rc) exec("ROLLBACK");
    return rc;
  }

  unsigned child(KeyId parent, const Name& n, KeyId& id) {
    sqlite3_stmt* st = nullptr;
    if (unsigned rc = prepare(kChild, st)) return rc;
    sqlite3_bind_int64(st, 1, parent);
    bindText(st, 2, n.fold);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) id = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    if (rc == SQLITE_ROW) return ERROR_SUCCESS;
    return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : fromSqlite(rc);
  }

  unsigned walk(const std::vector<Name>& parts, bool create, KeyId& id) {
    KeyId cur = kRootId;
    for (size_t depth = 1; depth <= parts.size(); ++depth) {
      const Name& n = parts[depth - 1];
      KeyId next = 0;
      unsigned rc = child(cur, n, next);
      // Checked where a key is made, so keys made before the limit stay usable.
      if (rc == ERROR_FILE_NOT_FOUND && create && depth > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
      if (rc == ERROR_FILE_NOT_FOUND && create) {
        rc = run(kInsertKey, [&](sqlite3_stmt* st) {
          sqlite3_bind_int64(st, 1, cur);
          bindText(st, 2, n.text);
          bindText(st, 3, n.fold);
        });
        next = sqlite3_last_insert_rowid(db_);
      }
      if (rc) return rc;
      cur = next;
    }
    id = cur;
    return ERROR_SUCCESS;
  }

  unsigned putValue(KeyId key, const Name& n, const StoreValue& v) {
    if (unsigned rc = missingKeyOr(key, ERROR_SUCCESS)) return rc;
    return run(kPutValue, [&](sqlite3_stmt* st) {
      sqlite3_bind_int64(st, 1, key);
      bindText(st, 2, n.text);
      bindText(st, 3, n.fold);
      sqlite3_bind_int64(st, 4, v.type);
      // A zero-length blob must still be a blob, not NULL.
      sqlite3_bind_blob(st, 5, v.data.empty() ? "" : static_cast<const void*>(v.data.data()),
                        static_cast<int>(v.data.size()), SQLITE_STATIC);
    });
  }

  unsigned dropValue(KeyId key, const Name& n) {
    if (unsigned rc = missingKeyOr(key, ERROR_SUCCESS)) return rc;
    unsigned rc = run(kDropValue, [&](sqlite3_stmt* st) {
      sqlite3_bind_int64(st, 1, key);
      bindText(st, 2, n.fold);
    });
    if (rc) return rc;
    return sqlite3_changes(db_) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  }

  unsigned dropTree(const std::vector<Name>& parts) {
    KeyId id = kRootId;
    if (unsigned rc = walk(parts, false, id)) return rc;
    for (StmtId s : {kDropTreeVals, kDropTreeKeys}) {
      if (unsigned rc = run(s, [&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, id); })) return rc;
    }
    return ERROR_SUCCESS;
  }

  const std::string path_;
  const bool readOnly_;
  const bool userHive_;
  std::mutex mu_;
  sqlite3* db_ = nullptr;
  bool writable_ = false;
  bool immutable_ = false;  // opened as immutable: see connect()
  FileStamp immutableFile_;
  bool wal_ = false;    // the file was in WAL mode when connected
  bool ready_ = false;  // connected, schema present and checked
  sqlite3_stmt* stmts_[kStmtCount] = {};

  bool walSeen_ = false;  // a query ran, so the connection has mapped the WAL index
  HiveReadCache cache_;
};

}  // namespace

bool readDatabaseHeader(sqlite3* db, int offset, void* out, int size) {
  sqlite3_file* file = nullptr;
  return sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file &&
         file->pMethods && file->pMethods->xRead(file, out, size, offset) == SQLITE_OK;
}

std::string immutableUri(const std::string& path) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      char esc[4];
      snprintf(esc, sizeof esc, "%%%02X", static_cast<unsigned char>(c));
      uri += esc;
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

unsigned winErrorFromSqlite(int rc, sqlite3* db) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_SCHEMA:
    case SQLITE_ERROR:
      return ERROR_BADDB;  // SQLITE_ERROR here means our tables are not what they should be
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR: {
      int err = db ? sqlite3_system_errno(db) : 0;
      return err ? winErrorFromErrno(err) : ERROR_CANTOPEN;
    }
    default:
      return ERROR_GEN_FAILURE;
  }
}

std::shared_ptr<SettingsHive> openSqliteHive(std::string path, bool readOnly, bool userHive) {
  return std::make_shared<SqliteHive>(std::move(path), readOnly, userHive);
}

}  // namespace Halvex::Tessaran::PAL::detail
