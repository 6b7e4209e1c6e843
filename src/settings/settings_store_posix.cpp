// The settings store over SQLite: one database file per hive, WAL mode, one
// transaction per change.
#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include "base/utf16.h"
#include "base/utf8.h"
#include "platform/posix_util.h"
#include "settings/settings_store.h"

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

// Simple Unicode upper-casing, the registry's rule for comparing names;
// C.UTF-8 gives it independently of the process locale.
locale_t foldLocale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

struct Name {
  std::u16string text;
  std::u16string fold;
};

unsigned makeName(std::wstring_view name, size_t maxUnits, Name& out) {
  if (name.find(L'\0') != std::wstring_view::npos) return ERROR_INVALID_PARAMETER;
  out.text = wideToUtf16(name);
  if (out.text.size() > maxUnits) return ERROR_INVALID_PARAMETER;
  std::wstring folded(name);
  locale_t loc = foldLocale();
  for (auto& c : folded) {
    if (c < 0x80)
      c = (c >= L'a' && c <= L'z') ? c - 32 : c;
    else if (loc)
      c = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), loc));
  }
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

// The WAL-index header at the start of the -shm file, which every commit by
// any connection rewrites (two copies of 48 bytes, the format SQLite
// documents with its WAL file format). An unchanged header means no commit
// happened, which is checked without starting a read transaction (and so
// without the file-lock system calls a query costs).
struct WalStamp {
  unsigned char bytes[48] = {};
  bool operator==(const WalStamp& o) const { return std::memcmp(bytes, o.bytes, sizeof bytes) == 0; }
};

// Reads the header the way SQLite's readers do: first copy, barrier,
// second copy; a torn read (a commit in progress) gives false.
bool readWalStamp(sqlite3* db, WalStamp& out) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
      !file->pMethods || file->pMethods->iVersion < 2)
    return false;
  void volatile* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, 32768, 0, &region) != SQLITE_OK || !region) return false;
  auto* p = static_cast<const volatile unsigned char*>(region);
  WalStamp second;
  for (size_t i = 0; i < sizeof out.bytes; ++i) out.bytes[i] = p[i];
  std::atomic_thread_fence(std::memory_order_seq_cst);
  for (size_t i = 0; i < sizeof second.bytes; ++i) second.bytes[i] = p[sizeof out.bytes + i];
  constexpr size_t kIsInit = 12;
  return out == second && out.bytes[kIsInit] != 0;
}

bool isTrue(const char* v) {
  return v && *v && std::string_view(v) != "0";
}

std::string configHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.config";
  if (passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return std::string(pw->pw_dir) + "/.config";
  return "/tmp";
}

std::string hivePath(HKEY root) {
  if (root == HKEY_CURRENT_USER) {
    const char* over = std::getenv("KVPAL_USER_HIVE");
    return over && *over ? over : configHome() + "/halvex/settings.db";
  }
  const char* over = std::getenv("KVPAL_MACHINE_HIVE");
  return over && *over ? over : "/var/lib/halvex/settings.db";
}

bool hiveReadOnly(HKEY root) {
  return root == HKEY_LOCAL_MACHINE && isTrue(std::getenv("KVPAL_MACHINE_HIVE_READONLY"));
}

unsigned makeParentDirs(const std::string& file, mode_t mode) {
  for (size_t pos = file.find('/', 1); pos != std::string::npos; pos = file.find('/', pos + 1)) {
    std::string dir = file.substr(0, pos);
    if (mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return winErrorFromErrno(errno);
  }
  return ERROR_SUCCESS;
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
    CacheKey ck{key, std::move(n.fold)};
    WalStamp before;
    const bool stamped = walSeen_ && writable_ && readWalStamp(db_, before);
    if (stamped) {
      if (!(before == cacheStamp_)) {
        cache_.clear();
        cacheStamp_ = before;
      } else if (auto it = cache_.find(ck); it != cache_.end()) {
        if (it->second.rc == ERROR_SUCCESS) {
          out.type = it->second.type;
          out.data = it->second.data;
        }
        return it->second.rc;
      }
    }
    unsigned rc = queryValue(key, ck.fold, out);
    walSeen_ = true;
    // Kept only when no commit slipped in around the query.
    WalStamp after;
    if (stamped && (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_KEY_DELETED) &&
        readWalStamp(db_, after) && after == before) {
      if (cache_.size() >= kMaxCached) cache_.clear();
      cache_.insert_or_assign(
          std::move(ck), Cached{rc, out.type, rc == ERROR_SUCCESS ? out.data : std::vector<unsigned char>()});
    }
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

  unsigned fromSqlite(int rc) const { return fromSqlite(rc, db_); }

  static unsigned fromSqlite(int rc, sqlite3* db) {
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
    walSeen_ = false;
    cache_.clear();
  }

  // What a connection is wanted for. Only kCreate makes a missing hive;
  // otherwise a missing file (or an empty database, for reading) is
  // ERROR_FILE_NOT_FOUND and nothing is created.
  enum Use { kRead, kWrite, kCreate };

  unsigned connect(Use use) {
    const bool forWrite = use != kRead;
    if (forWrite && readOnly_) return ERROR_ACCESS_DENIED;
    if (ready_ && (!forWrite || writable_)) return ERROR_SUCCESS;
    if (!db_) {
      struct stat sb;
      bool present = stat(path_.c_str(), &sb) == 0;
      if (!present && use != kCreate) return ERROR_FILE_NOT_FOUND;
      if (!present) {
        if (unsigned rc = makeParentDirs(path_, userHive_ ? 0700 : 0755)) return rc;
        if (unsigned rc = createFile()) return rc;
      }
      int flags = readOnly_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
      int rc = sqlite3_open_v2(path_.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
      if (rc != SQLITE_OK) {
        unsigned code = fromSqlite(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        return code;
      }
      sqlite3_busy_timeout(db_, kBusyTimeoutMs);
      // A file we may not write is opened read-only by SQLite; writing then
      // is access denied, as for a registry hive the caller may not change.
      writable_ = !readOnly_ && sqlite3_db_readonly(db_, "main") == 0;
    }
    if (forWrite && !writable_) return ERROR_ACCESS_DENIED;
    Schema schema;
    if (unsigned rc = checkSchema(schema)) {
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
    }
    ready_ = true;
    return ERROR_SUCCESS;
  }

  // A new hive is built complete under a private name and linked into
  // place, so no process ever sees a half-made one; when two processes
  // race, the first link wins and the other's copy is dropped.
  unsigned createFile() {
    const std::string tmp = path_ + ".new-" + std::to_string(getpid());
    // Made here rather than by SQLite, which hides why creation failed.
    int fd = open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, userHive_ ? 0600 : 0644);
    if (fd < 0) return winErrorFromErrno(errno);
    close(fd);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(tmp.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    unsigned code = rc != SQLITE_OK ? fromSqlite(rc, db) : ERROR_SUCCESS;
    if (sqlite3_close(db) != SQLITE_OK && !code) code = ERROR_CANTWRITE;
    if (!code && link(tmp.c_str(), path_.c_str()) != 0 && errno != EEXIST) code = winErrorFromErrno(errno);
    unlink(tmp.c_str());
    // The new name must survive a crash as surely as the data behind it.
    std::string dir = path_.substr(0, path_.rfind('/') + 1);
    if (int dfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
      fsync(dfd);
      close(dfd);
    }
    return code;
  }

  // Gives an existing empty file (say, made by touch) the schema in place.
  unsigned initialize() {
    // WAL must be chosen outside a transaction; the schema is then created
    // under the write lock, re-checked in case another process won the race.
    if (unsigned rc = exec("PRAGMA journal_mode=WAL")) return rc;
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
    for (const auto& n : parts) {
      KeyId next = 0;
      unsigned rc = child(cur, n, next);
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
  bool ready_ = false;  // connected, schema present and checked
  sqlite3_stmt* stmts_[kStmtCount] = {};

  // Value reads, valid while the WAL-index header equals cacheStamp_. Only
  // for connections that may write: a read-only one may see a private copy
  // of the header instead of the shared one.
  struct CacheKey {
    KeyId key;
    std::u16string fold;
    bool operator==(const CacheKey& o) const { return key == o.key && fold == o.fold; }
  };
  struct CacheHash {
    size_t operator()(const CacheKey& k) const {
      return std::hash<std::u16string>()(k.fold) ^ (static_cast<size_t>(k.key) * 0x9E3779B97F4A7C15ull);
    }
  };
  struct Cached {
    unsigned rc;
    DWORD type;
    std::vector<unsigned char> data;
  };
  static constexpr size_t kMaxCached = 4096;
  bool walSeen_ = false;  // a query ran, so the connection has mapped the WAL index
  WalStamp cacheStamp_;
  std::unordered_map<CacheKey, Cached, CacheHash> cache_;
};

struct CachedHive {
  std::shared_ptr<SqliteHive> hive;
  pid_t pid;
  dev_t dev;
  ino_t ino;
};

}  // namespace

std::shared_ptr<SettingsHive> openHive(HKEY root) {
  if (root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE) return nullptr;
  std::string path = hivePath(root);
  bool readOnly = hiveReadOnly(root);
  struct stat sb {};
  if (stat(path.c_str(), &sb) != 0) sb = {};

  static std::mutex mu;
  static std::map<std::pair<std::string, bool>, CachedHive> cache;
  std::lock_guard lock(mu);
  auto& slot = cache[{path, readOnly}];
  // A connection is kept per file and process: reopening costs far more
  // than a read. A hive replaced on disk (or inherited over fork, where a
  // SQLite connection must not be used) gets a fresh connection.
  if (slot.hive && slot.pid == getpid() && slot.dev == sb.st_dev && slot.ino == sb.st_ino) return slot.hive;
  if (slot.hive && slot.pid != getpid())
    new std::shared_ptr<SqliteHive>(std::move(slot.hive));  // never close the parent's connection
  slot = {std::make_shared<SqliteHive>(path, readOnly, root == HKEY_CURRENT_USER), getpid(), sb.st_dev,
          sb.st_ino};
  return slot.hive;
}

HiveInfo hiveInfo(HKEY root) {
  std::string path = hivePath(root);
  struct stat sb;
  bool exists = stat(path.c_str(), &sb) == 0;
  return {path, exists, hiveReadOnly(root)};
}

}  // namespace Halvex::Tessaran::PAL::detail
