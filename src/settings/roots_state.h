// The process-wide settings roots and the root list built from them, shared
// by the Roots members, the product identity start-up and the kvpal tool.
#pragma once

#include <string>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

struct RootEntry {
  bool isUserHive;  // HKEY_CURRENT_USER, else HKEY_LOCAL_MACHINE
  std::wstring keyPath;
};

// Plain values without locks: written at start-up on one thread.
struct RootsState {
  std::wstring currentLanguageName;
  std::wstring roamingRootName;
  std::wstring productGlobalRootName;
  std::wstring productCultureSpecificRootName;
  std::wstring currentProfileName = L"Current";
  std::vector<RootEntry> rootList;
  // The global root the list was last rebuilt from; its base products are
  // read again by getHKLMBaseProductGlobalRootKeys.
  std::wstring listGlobalRootName;
};

RootsState& rootsState();

// Rebuilds the root list from the current roots, in precedence order.
void rebuildRootList();

// The sibling keys named by the "BaseProduct" value of the machine key
// `globalRoot`, in the order the value lists them.
std::vector<std::wstring> baseProductRoots(const std::wstring& globalRoot);

}  // namespace Halvex::Tessaran::PAL::detail
