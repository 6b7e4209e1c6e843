// The read cache of a SQLite hive connection, validated by the WAL index or
// the file change counter.
#include "settings/hive_read_cache_sqlite.h"

#include <sqlite3.h>

#include <atomic>
#include <cstring>

#include "settings/hive_sqlite.h"

namespace Halvex::Tessaran::PAL::detail {

bool HiveReadCache::Stamp::operator==(const Stamp& o) const {
  return std::memcmp(bytes, o.bytes, sizeof bytes) == 0;
}

// Reads the header the way SQLite's readers do: first copy, barrier,
// second copy; a torn read (a commit in progress) gives false.
bool HiveReadCache::readWalIndex(sqlite3* db, Stamp& out) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
      !file->pMethods || file->pMethods->iVersion < 2)
    return false;
  void volatile* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, 32768, 0, &region) != SQLITE_OK || !region) return false;
  auto* p = static_cast<const volatile unsigned char*>(region);
  Stamp second;
  for (size_t i = 0; i < sizeof out.bytes; ++i) out.bytes[i] = p[i];
  std::atomic_thread_fence(std::memory_order_seq_cst);
  for (size_t i = 0; i < sizeof second.bytes; ++i) second.bytes[i] = p[sizeof out.bytes + i];
  constexpr size_t kIsInit = 12;
  return out == second && out.bytes[kIsInit] != 0;
}

// The format versions and the counter (bytes 18 to 27): a switch to WAL
// mode, after which the counter no longer moves, gives no stamp.
bool HiveReadCache::readChangeCounter(sqlite3* db, Stamp& out) {
  out = Stamp();
  return readDatabaseHeader(db, 18, out.bytes, 10) && out.bytes[0] == 1 && out.bytes[1] == 1;
}

bool HiveReadCache::readStamp(sqlite3* db, StampSource source, Stamp& out) {
  return source == kWalIndex ? readWalIndex(db, out) : readChangeCounter(db, out);
}

bool HiveReadCache::find(sqlite3* db, StampSource source, SettingsHive::KeyId key, const std::u16string& fold,
                         unsigned& rc, StoreValue& out) {
  if (source != source_) entries_.clear();
  source_ = source;
  stamped_ = readStamp(db, source, before_);
  if (!stamped_) return false;
  if (!(before_ == current_)) {
    entries_.clear();
    current_ = before_;
    return false;
  }
  auto it = entries_.find(CacheKey{key, fold});
  if (it == entries_.end()) return false;
  rc = it->second.rc;
  if (rc == ERROR_SUCCESS) {
    out.type = it->second.type;
    out.data = it->second.data;
  }
  return true;
}

void HiveReadCache::keep(sqlite3* db, SettingsHive::KeyId key, std::u16string fold, unsigned rc,
                         const StoreValue& value) {
  if (!stamped_ || (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && rc != ERROR_KEY_DELETED)) return;
  Stamp after;
  if (!readStamp(db, source_, after) || !(after == before_)) return;
  if (entries_.size() >= kMaxCached) entries_.clear();
  entries_.insert_or_assign(
      CacheKey{key, std::move(fold)},
      Cached{rc, value.type, rc == ERROR_SUCCESS ? value.data : std::vector<unsigned char>()});
}

void HiveReadCache::clear() {
  entries_.clear();
  stamped_ = false;
}

}  // namespace Halvex::Tessaran::PAL::detail
