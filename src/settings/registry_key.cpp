// RegistryKey over the settings store.
#include "settings/registry_key.h"

#include <cstring>

#include "settings/classes_root.h"
#include "settings/container_internal.h"
#include "settings/env_expand.h"

using namespace Halvex::Tessaran::PAL::detail;

namespace {

constexpr unsigned typeBit(DWORD type) {
  return 1u << type;
}

// Every type, including those beyond the bit mask's 32 (any DWORD is a
// valid registry type).
constexpr unsigned kAnyType = ~0u;

const wchar_t* valueName(const wchar_t* name) {
  return name ? name : L"";
}

unsigned openKey(HKEY root, const std::wstring& path, bool create, HiveKey& key) {
  key.hive = openHive(root);
  if (!key.hive) return ERROR_INVALID_HANDLE;
  return create ? key.hive->createKey(path, key.id) : key.hive->openKey(path, key.id);
}

}  // namespace

namespace Halvex::Tessaran::PAL::detail {

unsigned openKeyOrUserFallback(HKEY root, const std::wstring& path, bool create, HiveKey& key,
                               HKEY* openedIn) {
  if (openedIn) *openedIn = root;
  const unsigned rc = openKey(root, path, create, key);
  if (root != HKEY_LOCAL_MACHINE || rc != (create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND)) return rc;
  if (openedIn) *openedIn = HKEY_CURRENT_USER;
  return openKey(HKEY_CURRENT_USER, path, create, key);
}

}  // namespace Halvex::Tessaran::PAL::detail

RegistryKey::RegistryKey(HKEY root, std::wstring parentPath, std::wstring name, REGSAM access)
    : parentPath_(std::move(parentPath)), name_(std::move(name)), root_(root), access_(access) {
  const bool classes = root_ == HKEY_CLASSES_ROOT;
  const std::wstring path = classes ? classesPath(fullPath()) : fullPath();
  const bool create = (access_ & KEY_CREATE_SUB_KEY) != 0;
  auto open = [&](HKEY hive, bool make, std::unique_ptr<HiveKey>& into) -> unsigned {
    auto h = openHive(hive);
    if (!h) return ERROR_INVALID_HANDLE;
    SettingsHive::KeyId id = 0;
    unsigned rc = make ? h->createKey(path, id) : h->openKey(path, id);
    if (rc == ERROR_SUCCESS) into = std::make_unique<HiveKey>(HiveKey{std::move(h), id});
    return rc;
  };
  // The classes view opens the user's key where it exists, else the
  // machine's, and then reads the machine's key beneath the user's.
  const HKEY first = classes ? (create ? classesRootTarget(fullPath()) : HKEY_CURRENT_USER) : root_;
  HKEY at = first;
  HiveKey opened;
  const unsigned rc = openKeyOrUserFallback(first, path, create, opened, &at);
  if (rc == ERROR_SUCCESS)
    key_ = std::make_unique<HiveKey>(std::move(opened));
  else if (classes && first == HKEY_CURRENT_USER && rc == ERROR_FILE_NOT_FOUND)
    open(at = HKEY_LOCAL_MACHINE, false, key_);
  if (classes && key_ && at == HKEY_CURRENT_USER) open(HKEY_LOCAL_MACHINE, false, under_);
}

RegistryKey::~RegistryKey() = default;

std::wstring RegistryKey::fullPath() const {
  return parentPath_ + L"\\" + name_;
}

bool RegistryKey::query(const wchar_t* name, unsigned types, StoreValue& out) const {
  if (!key_ || !(access_ & KEY_QUERY_VALUE)) return false;
  if (key_->hive->getValue(key_->id, valueName(name), out) != ERROR_SUCCESS &&
      (!under_ || under_->hive->getValue(under_->id, valueName(name), out) != ERROR_SUCCESS))
    return false;
  if (types != kAnyType && (out.type >= 32 || !(types & typeBit(out.type)))) return false;
  return !out.data.empty();
}

bool RegistryKey::good() const {
  return key_ != nullptr;
}

bool RegistryKey::exists(const wchar_t* name) const {
  StoreValue v;
  return query(name, kAnyType, v);
}

std::wstring RegistryKey::getString(const wchar_t* name, const std::wstring& def) const {
  std::wstring result = def;
  StoreValue v;
  if (query(name, typeBit(REG_SZ) | typeBit(REG_EXPAND_SZ), v)) {
    result = stringFromData(v.data);
    if (v.type == REG_EXPAND_SZ) result = expandEnvironmentReferences(result);
  }
  if (auto* expander = registeredExpander()) expander->expandVariables(result);
  return result;
}

std::map<std::wstring, std::wstring> RegistryKey::getAllStringValues(
    const std::map<std::wstring, std::wstring>& def) const {
  std::vector<StoreValue> values;
  if (!key_ || !(access_ & KEY_QUERY_VALUE) || key_->hive->values(key_->id, values) != ERROR_SUCCESS)
    return def;
  if (std::vector<StoreValue> beneath; under_ && under_->hive->values(under_->id, beneath) == ERROR_SUCCESS) {
    mergeValues(beneath, std::move(values));
    values = std::move(beneath);
  }
  std::map<std::wstring, std::wstring> result;
  for (const auto& v : values)
    if (v.type == REG_SZ) result[v.name] = stringFromData(v.data);
  return result;
}

std::vector<unsigned char> RegistryKey::getBinary(const wchar_t* name,
                                                  const std::vector<unsigned char>& def) const {
  StoreValue v;
  return query(name, typeBit(REG_BINARY), v) ? std::move(v.data) : def;
}

double RegistryKey::getDouble(const wchar_t* name, const double& def) const {
  StoreValue v;
  // Only exactly eight bytes make a double; anything else is not one.
  if (!query(name, typeBit(REG_BINARY), v) || v.data.size() != sizeof(double)) return def;
  double d;
  std::memcpy(&d, v.data.data(), sizeof d);
  return d;
}

unsigned RegistryKey::getUInt32(const wchar_t* name, const unsigned& def) const {
  StoreValue v;
  if (!query(name, typeBit(REG_DWORD) | typeBit(REG_BINARY), v) || v.data.size() != sizeof(DWORD)) return def;
  DWORD d;
  std::memcpy(&d, v.data.data(), sizeof d);
  return d;
}

void RegistryKey::enumerate(std::function<bool(const Container&)> fn) const {
  if (!fn || !key_ || !(access_ & KEY_ENUMERATE_SUB_KEYS)) return;
  std::vector<std::wstring> names;
  if (key_->hive->subkeys(key_->id, names) != ERROR_SUCCESS) return;
  if (std::vector<std::wstring> beneath;
      under_ && under_->hive->subkeys(under_->id, beneath) == ERROR_SUCCESS) {
    mergeNames(beneath, names);
    names = std::move(beneath);
  }
  const std::wstring path = fullPath();
  for (const auto& child : names) {
    // A child the callback removed is skipped rather than visited (and, for
    // a read-write key, created again empty). Opening without the right to
    // create asks every hive the key may live in.
    if (!RegistryKey(root_, path, child, access_ & ~KEY_CREATE_SUB_KEY).good()) continue;
    Container c(new RegistryKey(root_, path, child, access_));
    if (!fn(c)) break;
  }
}

std::wstring RegistryKey::name() const {
  return name_;
}

bool RegistryKey::write(const wchar_t* name, DWORD type, std::vector<unsigned char> data) {
  if (!key_ || !(access_ & KEY_SET_VALUE)) return false;
  return key_->hive->setValue(key_->id, {valueName(name), type, std::move(data)}) == ERROR_SUCCESS;
}

bool RegistryKey::writeString(const wchar_t* name, DWORD type, const wchar_t* value) {
  return write(name, type, stringData(value ? value : L" "));
}

bool RegistryKey::removeValue(const wchar_t* name) {
  if (!key_ || !(access_ & KEY_SET_VALUE)) return false;
  unsigned rc = key_->hive->deleteValue(key_->id, valueName(name));
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool RegistryKey::setString(const wchar_t* name, const wchar_t* value) {
  if (auto* expander = registeredExpander(); expander && value) {
    std::wstring collapsed = value;
    if (expander->collapseVariables(collapsed)) return writeString(name, REG_EXPAND_SZ, collapsed.c_str());
  }
  return writeString(name, REG_SZ, value);
}

bool RegistryKey::setExpandString(const wchar_t* name, const wchar_t* value) {
  return writeString(name, REG_EXPAND_SZ, value);
}

bool RegistryKey::setUInt32(const wchar_t* name, unsigned value) {
  std::vector<unsigned char> data(sizeof(DWORD));
  DWORD d = value;
  std::memcpy(data.data(), &d, sizeof d);
  return write(name, REG_DWORD, std::move(data));
}

bool RegistryKey::setDouble(const wchar_t* name, double value) {
  std::vector<unsigned char> data(sizeof value);
  std::memcpy(data.data(), &value, sizeof value);
  return write(name, REG_BINARY, std::move(data));
}

bool RegistryKey::remove() {
  std::wstring path = fullPath();
  // A key on an empty path is the hive's root, which is never deleted (the
  // registry refuses to delete a predefined key too); for the classes view
  // that root is both hives' Software\Classes.
  if (path.find_first_not_of(L'\\') == std::wstring::npos) return false;
  HKEY root = root_;
  if (root_ == HKEY_CLASSES_ROOT) {
    root = classesRootTarget(path);
    path = classesPath(path);
  }
  auto hive = openHive(root);
  if (!hive || hive->deleteTree(path) != ERROR_SUCCESS) return false;
  key_.reset();
  under_.reset();
  return true;
}
