// The version-marker test on the bytes of a module file.
#include "modules/plugin_contract.h"

#include <cstdint>
#include <cstring>

namespace Halvex::Tessaran::PAL::detail {

VersionMarker findVersionMarker(const ModuleImage& image) {
  VersionMarker found;
  int ordinal = image.exportOrdinal(image.exportIndex(kPluginVersionFunctionName));
  DWORD address = ordinal < 0 ? 0xFFFFFFFFu : image.exportFunction(ordinal, false);
  if (address == 0xFFFFFFFFu) return found;
  auto code = static_cast<const unsigned char*>(image.addressOf(address, false));
  if (!code) return found;
  std::size_t available = image.availableBytes(code);
  if (available >= 5 && code[0] == 0xE9) {
    std::int32_t displacement =
        static_cast<std::int32_t>(std::uint32_t{code[1]} | std::uint32_t{code[2]} << 8 |
                                  std::uint32_t{code[3]} << 16 | std::uint32_t{code[4]} << 24);
    // The displacement counts from the end of the 5-byte jump; addresses wrap
    // at 32 bits as the relative addresses do.
    std::uint32_t target = address + 5 + static_cast<std::uint32_t>(displacement);
    code = static_cast<const unsigned char*>(image.addressOf(target, false));
    if (!code) return found;
    available = image.availableBytes(code);
    found.followedJump = true;
  }
  found.result = VersionMarker::Absent;
  for (int offset = 0; offset < kVersionMarkerOffsets; ++offset) {
    if (available < offset + sizeof kVersionMarker) break;
    if (std::memcmp(code + offset, kVersionMarker, sizeof kVersionMarker) == 0) {
      found.result = VersionMarker::Present;
      found.offset = offset;
      break;
    }
  }
  return found;
}

}  // namespace Halvex::Tessaran::PAL::detail
