// RegistryKey: the settings container implementation over the settings
// store's hives, with the registry access masks it is opened with.
#pragma once

#include <memory>
#include <string>

#include "pal/settings.h"
#include "settings/settings_store.h"

namespace Halvex::Tessaran::PAL::detail {

// Registry access rights, with their Windows values.
using REGSAM = DWORD;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM DELETE_ACCESS = 0x00010000;  // Windows' DELETE
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM SYNCHRONIZE = 0x00100000;
constexpr REGSAM KEY_READ =
    (READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE;
constexpr REGSAM KEY_WRITE = (READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;
static_assert(KEY_READ == 0x20019 && KEY_WRITE == 0x20006);

// Opens (with `create`, creates) `path` under `root`. A machine key that is
// not found for reading, or cannot be created for lack of access, comes from
// the same path in the user hive, as for an unprivileged Windows process.
// `openedIn`, when given, receives the hive the key was looked for in last.
unsigned openKeyOrUserFallback(HKEY root, const std::wstring& path, bool create, HiveKey& key,
                               HKEY* openedIn = nullptr);

}  // namespace Halvex::Tessaran::PAL::detail

// A key of the settings store, opened (or, with KEY_CREATE_SUB_KEY in the
// mask, created) when constructed. A machine key that cannot be created for
// lack of access, or that is not found for reading, is taken from the same
// path in the user hive; the stored root stays the machine hive, so
// remove() addresses it there. Value reads need KEY_QUERY_VALUE, value
// writes KEY_SET_VALUE, enumeration KEY_ENUMERATE_SUB_KEYS.
// Under HKEY_CLASSES_ROOT the key is the merged view of classes_root.h:
// reads see the user's values and subkeys over the machine's; the key is
// created, written and removed in the user's classes where it exists there,
// else in the machine's (falling back to the user's when the machine hive
// refuses access, as for any machine key).
class RegistryKey : public Halvex::Tessaran::PAL::Settings::ContainerImp {
 public:
  using HKEY = Halvex::Tessaran::PAL::detail::HKEY;
  using REGSAM = Halvex::Tessaran::PAL::detail::REGSAM;
  using Container = Halvex::Tessaran::PAL::Settings::Container;

  RegistryKey(HKEY root, std::wstring parentPath, std::wstring name, REGSAM access);
  ~RegistryKey() override;

  bool good() const override;
  bool exists(const wchar_t* name) const override;
  std::wstring getString(const wchar_t* name, const std::wstring& def) const override;
  std::map<std::wstring, std::wstring> getAllStringValues(
      const std::map<std::wstring, std::wstring>& def) const override;
  std::vector<unsigned char> getBinary(const wchar_t* name,
                                       const std::vector<unsigned char>& def) const override;
  double getDouble(const wchar_t* name, const double& def) const override;
  unsigned getUInt32(const wchar_t* name, const unsigned& def) const override;
  void enumerate(std::function<bool(const Container&)> fn) const override;
  std::wstring name() const override;
  bool removeValue(const wchar_t* name) override;
  bool setString(const wchar_t* name, const wchar_t* value) override;
  bool setExpandString(const wchar_t* name, const wchar_t* value) override;
  bool setUInt32(const wchar_t* name, unsigned value) override;
  bool setDouble(const wchar_t* name, double value) override;
  bool remove() override;

  // The parent path, '\' and the name.
  std::wstring fullPath() const;

 private:
  using StoreValue = Halvex::Tessaran::PAL::detail::StoreValue;

  // The value when it exists with one of the types in `types` (a bit per
  // registry type) and a non-empty size.
  bool query(const wchar_t* name, unsigned types, StoreValue& out) const;
  bool write(const wchar_t* name, DWORD type, std::vector<unsigned char> data);
  bool writeString(const wchar_t* name, DWORD type, const wchar_t* value);

  std::unique_ptr<Halvex::Tessaran::PAL::detail::HiveKey> key_;
  // Under HKEY_CLASSES_ROOT when key_ is the user's: the machine's key,
  // read beneath it.
  std::unique_ptr<Halvex::Tessaran::PAL::detail::HiveKey> under_;
  std::wstring parentPath_;
  std::wstring name_;
  HKEY root_;
  REGSAM access_;
};
