// Value reads of one SQLite hive connection, kept while no commit happened.
#pragma once

#include <string>
#include <unordered_map>

#include "settings/settings_store.h"

struct sqlite3;

namespace Halvex::Tessaran::PAL::detail {

// What tells that no commit happened since a value was read, checked
// without starting a read transaction (and so without the file-lock system
// calls a query costs).
class HiveReadCache {
 public:
  enum StampSource {
    // The WAL-index header at the start of the -shm file, which every
    // commit by any connection rewrites (two copies of 48 bytes, the format
    // SQLite documents with its WAL file format).
    kWalIndex,
    // The file change counter in the database header, which every commit
    // in rollback-journal mode increments.
    kChangeCounter,
  };

  // A cached read of (key, fold) that is still valid: true with rc and, on
  // success, out filled. Remembers the commit stamp for keep().
  bool find(sqlite3* db, StampSource source, SettingsHive::KeyId key, const std::u16string& fold,
            unsigned& rc, StoreValue& out);
  // Keeps a read made after find(), unless a commit slipped in around it.
  void keep(sqlite3* db, SettingsHive::KeyId key, std::u16string fold, unsigned rc, const StoreValue& value);
  // For a connection that is closed, or that has not run a query yet (its
  // WAL index is not mapped).
  void clear();

 private:
  struct Stamp {
    unsigned char bytes[48] = {};
    bool operator==(const Stamp& o) const;
  };
  static bool readStamp(sqlite3* db, StampSource source, Stamp& out);
  static bool readWalIndex(sqlite3* db, Stamp& out);
  static bool readChangeCounter(sqlite3* db, Stamp& out);

  struct CacheKey {
    SettingsHive::KeyId key;
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

  bool stamped_ = false;  // find() read a stamp, kept in before_
  StampSource source_ = kWalIndex;
  Stamp before_;
  Stamp current_;  // the stamp the cached entries belong to
  std::unordered_map<CacheKey, Cached, CacheHash> entries_;
};

}  // namespace Halvex::Tessaran::PAL::detail
