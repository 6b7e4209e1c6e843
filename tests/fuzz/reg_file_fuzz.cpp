// Feeds arbitrary bytes to the .reg file parser; every value it accepts
// must survive being written out and read back.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/reg_file.h"

using namespace Halvex::Tessaran::PAL::detail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RegFileParse parsed = parseRegFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!parsed.error.empty()) {
    if (parsed.errorLine == 0 || !parsed.changes.empty()) std::abort();
    return 0;
  }
  for (const auto& c : parsed.changes) {
    if (c.change.kind != StoreChange::SetValue) continue;
    std::wstring text =
        regFileHeader() + regFileKeyLine(c.root, c.change.path) + regFileValueLine(c.change.value);
    RegFileParse again = parseRegFile(encodeRegFile(text));
    if (!again.error.empty() || again.changes.size() != 2) std::abort();
    const StoreChange& back = again.changes[1].change;
    if (again.changes[1].root != c.root || back.path != c.change.path ||
        back.value.name != c.change.value.name || back.value.type != c.change.value.type ||
        back.value.data != c.change.value.data)
      std::abort();
  }
  return 0;
}
