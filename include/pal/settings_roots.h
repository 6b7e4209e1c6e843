// Settings roots: the process-wide registry roots of the product and the
// user, the root list walked in precedence order, and the containers handed
// out on them.
//
// Differences from Windows:
// - The hives are the settings store's files (see pal/settings.h); the root
//   paths are key paths inside them, with '\' between key names.
// - A "BaseProduct" value is read only when it is a string (REG_SZ or
//   REG_EXPAND_SZ, not expanded); like a Windows read into a 260-character
//   buffer, a value longer than 259 characters yields no base products.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pal/export.h"
#include "pal/locale.h"
#include "pal/settings.h"

namespace Halvex::Tessaran::PAL::Settings {

// Holds no data: every member works on the process-wide roots, which the
// host sets once at start-up on one thread (they are not synchronised).
class PAL_EXPORT Roots {
 public:
  // The culture-specific root's text up to its first ':' becomes the global
  // root (all of it when it has no ':' or starts with one). The language is
  // taken from `locale` only while no language has been set.
  static void initializeFromRoots(const wchar_t* roamingRoot, const wchar_t* productCultureSpecificRoot,
                                  const KvLocale& locale);
  // Runs the product identity start-up (pal/settings_identity.h) once per
  // process with `product` and `language` (null is empty), then sets the
  // roaming root (the culture-specific root when `roamingRoot` is null or
  // empty) and rebuilds the root list. False only when this call ran the
  // start-up and it failed; nothing after the failing step is done then.
  static bool initializeByConvention(const wchar_t* product, const wchar_t* language,
                                     const wchar_t* roamingRoot, bool oem);

  // Each pointer stays valid until its value changes.
  static const wchar_t* sdkRootName();
  static const wchar_t* productCultureSpecificRootName();
  static const wchar_t* productGlobalRootName();
  static const wchar_t* roamingRootName();
  static const wchar_t* currentLanguageName();
  static const wchar_t* currentProfileName();
  // Returns the previous name; containers made afterwards use the new one.
  static std::wstring setCurrentProfileName(const wchar_t* name);

  // HKEY_CURRENT_USER\<roaming root>\Profiles\<profile>\<subkey>. The
  // non-const overload creates a missing key; the const one never does.
  Container currentProfile(const wchar_t* subkey);
  const ReadOnlyContainer currentProfile(const wchar_t* subkey) const;
  // HKEY_CURRENT_USER\<roaming root>\<subkey>, likewise.
  Container roaming(const wchar_t* subkey);
  const ReadOnlyContainer roaming(const wchar_t* subkey) const;

  // Visits a read-only container on <root>\<subkey> for each root of the
  // list that has the key, in list order, until `visit` returns false.
  // User-hive roots are visited only with `includeUserRoots`; a machine key
  // missing from the machine hive is taken from the user hive. An empty
  // `visit` throws std::bad_function_call once a key opened.
  void getProductSettings(const wchar_t* subkey, std::function<bool(const Container&)> visit,
                          bool includeUserRoots) const;
};

PAL_EXPORT const Roots& read();
PAL_EXPORT Roots& write();

// Always false: there is no reset of the user settings.
PAL_EXPORT bool isUserSettingsReset();

}  // namespace Halvex::Tessaran::PAL::Settings

// Appends the base-product roots of the global root of the last rebuilt root
// list, reading its "BaseProduct" value again.
PAL_EXPORT void getHKLMBaseProductGlobalRootKeys(std::vector<std::wstring>& keys);
