// The settings store: the library's stand-in for the Windows registry hives.
//
// Registry behaviour it reproduces:
// - Two hives, HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE; key paths are key
//   names separated by '\' (empty components are ignored, so "A\" is "A").
// - Key and value names compare without regard to case (simple Unicode
//   upper-casing) and keep the case they were created with; the empty value
//   name is the key's default value.
// - Values carry a registry type and raw bytes; strings are UTF-16LE with the
//   terminating zero counted in the size.
// - Limits: 255 UTF-16 units per key name, 16,383 per value name; names
//   holding a NUL are invalid (ERROR_INVALID_PARAMETER). Keys nest at most
//   512 levels below the hive root: creating a deeper one fails with
//   ERROR_INVALID_PARAMETER too, the code Windows gives a call its limits
//   refuse (opening, deleting and reading one just find nothing).
// - Deleting a key deletes its subtree; an open key that was deleted fails
//   every later operation with ERROR_KEY_DELETED (key ids are never reused).
// - Every change is one atomic, durable transaction; a hive that cannot be
//   written reports ERROR_ACCESS_DENIED, a damaged or foreign file
//   ERROR_BADDB, and neither is modified.
// - Reading from a missing hive finds nothing and creates nothing; the first
//   write creates it.
// - A hive is read by anyone who may read its file, whatever the folder
//   around it allows (a registry hive does not depend on its folder). The
//   machine hive, which administrators and installers write, is kept with
//   a rollback journal, read without writing anything beside it; the user
//   hive is kept in WAL mode for its concurrent writers, and a reader that
//   can create no -shm file reads the file alone (as immutable) while no
//   WAL beside it holds commits, and shares a writer's -shm read-only once
//   one does. Only a user hive whose WAL holds commits with no -shm beside
//   it, in a folder the reader may not write, cannot be read: the next
//   writer or the owner's next use folds the WAL in.
//
// Results are Windows system error codes (platform/win_error.h). On POSIX
// systems each hive is a SQLite file (hive_sqlite.h) at the place
// settings_store_posix.cpp chooses.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pal/win_types.h"
#include "platform/win_error.h"

namespace Halvex::Tessaran::PAL::detail {

// The predefined root keys, with their Windows values. HKEY_CLASSES_ROOT
// has no hive of its own: it is a view of the other two (classes_root.h).
enum HKEY : std::uintptr_t {
  HKEY_CLASSES_ROOT = 0x80000000,
  HKEY_CURRENT_USER = 0x80000001,
  HKEY_LOCAL_MACHINE = 0x80000002,
};

enum RegType : DWORD {
  REG_NONE = 0,
  REG_SZ = 1,
  REG_EXPAND_SZ = 2,
  REG_BINARY = 3,
  REG_DWORD = 4,
  REG_MULTI_SZ = 7,
  REG_QWORD = 11,
};

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
// Key names along a path below a hive's root.
constexpr size_t kMaxKeyDepth = 512;

struct StoreValue {
  std::wstring name;
  DWORD type = REG_NONE;
  std::vector<unsigned char> data;
};

// One step of a batch that SettingsHive::apply makes in one transaction.
struct StoreChange {
  enum Kind { CreateKey, DeleteTree, SetValue, DeleteValue };
  Kind kind;
  std::wstring path;  // key path from the hive root
  StoreValue value;   // SetValue: the whole value; DeleteValue: its name
};

class SettingsHive {
 public:
  using KeyId = std::int64_t;
  virtual ~SettingsHive() = default;

  virtual unsigned openKey(std::wstring_view path, KeyId& id) = 0;
  // Creates the missing keys along the path.
  virtual unsigned createKey(std::wstring_view path, KeyId& id) = 0;
  // Fills type and data; ERROR_FILE_NOT_FOUND when the value is absent.
  virtual unsigned getValue(KeyId key, std::wstring_view name, StoreValue& out) = 0;
  virtual unsigned setValue(KeyId key, const StoreValue& value) = 0;
  virtual unsigned deleteValue(KeyId key, std::wstring_view name) = 0;
  // The key at path and its subtree; for the root path, everything below it.
  virtual unsigned deleteTree(std::wstring_view path) = 0;
  // Immediate subkeys and values, each ordered by name without regard to case.
  virtual unsigned subkeys(KeyId key, std::vector<std::wstring>& names) = 0;
  virtual unsigned values(KeyId key, std::vector<StoreValue>& values) = 0;
  // All changes or none.
  virtual unsigned apply(const std::vector<StoreChange>& changes) = 0;
};

// An open key: what a registry key handle stands for.
struct HiveKey {
  std::shared_ptr<SettingsHive> hive;
  SettingsHive::KeyId id;
};

// String data as stored: UTF-16LE with a terminating zero counted.
std::vector<unsigned char> stringData(std::wstring_view text);
// Decodes UTF-16LE string data up to its first zero (an odd last byte is
// ignored).
std::wstring stringFromData(const std::vector<unsigned char>& data);

// The hive behind a predefined root, at its current location (the
// environment overrides are read on every call). Null for an unknown root.
std::shared_ptr<SettingsHive> openHive(HKEY root);

// Where the hive's file lives, whether it exists, and whether the store
// treats it as read-only by configuration.
struct HiveInfo {
  std::string path;
  bool exists;
  bool readOnly;
};
HiveInfo hiveInfo(HKEY root);

}  // namespace Halvex::Tessaran::PAL::detail
