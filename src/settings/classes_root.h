// HKEY_CLASSES_ROOT: the user's and the machine's Software\Classes keys seen
// as one tree, as Windows merges them.
//
// Reads see the user's keys and values over the machine's: a value is the
// user's where the user's key holds it, else the machine's; subkeys are
// those of both. A write goes to the user's key where that key already
// exists, else to the machine's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_store.h"

namespace Halvex::Tessaran::PAL::detail {

// The path in the user and machine hives of HKEY_CLASSES_ROOT\path.
std::wstring classesPath(std::wstring_view path);

// The hive that a write to HKEY_CLASSES_ROOT\path changes.
HKEY classesRootTarget(std::wstring_view path);

// The merged key: its values (each ordered by name without regard to case)
// and subkey names. ERROR_FILE_NOT_FOUND when neither hive has the key.
unsigned classesRootKey(std::wstring_view path, std::vector<StoreValue>& values,
                        std::vector<std::wstring>& subkeys);

// Adds to `into` the entries of `over` and those of `into` that `over` does
// not name (names compared as the store compares them); keeps the order by
// name without regard to case.
void mergeValues(std::vector<StoreValue>& into, std::vector<StoreValue> over);
void mergeNames(std::vector<std::wstring>& into, const std::vector<std::wstring>& over);

}  // namespace Halvex::Tessaran::PAL::detail
