// The version-marker test on the bytes of a module file.
#include "modules/plugin_contract.h"

#include <cstdint>
#include <cstring>

#include "modules/image_parser.h"
#include "modules/module_names.h"
#include "pal/plugin_sdk.h"

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

std::optional<PluginSdkNote> findPluginSdkNote(const ModuleImage& image) {
  for (const ImageNote& note : ModuleImageAccess::parser(image).notes()) {
    if (note.owner != KVRX_SDK_NOTE_OWNER || note.type != KVRX_SDK_NOTE_TYPE || note.size < 4) continue;
    ByteView descriptor(note.descriptor, note.size, image.isBigEndian());
    PluginSdkNote found;
    found.toolsetMajor = descriptor.read<std::uint32_t>(0).value_or(0);
    // Padding follows the text; a text without its zero ends with the note.
    const char* text = reinterpret_cast<const char*>(note.descriptor + 4);
    found.moduleType.assign(text, strnlen(text, note.size - 4));
    return found;
  }
  return std::nullopt;
}

std::optional<unsigned> toolsetMajorVersion(const ModuleImage& image) {
  if (image.format() == ModuleImage::ElfModule) {
    auto note = findPluginSdkNote(image);
    return note ? std::optional<unsigned>(note->toolsetMajor) : std::nullopt;
  }
  int major = 0, minor = 0;
  if (!image.linkerVersion(major, minor)) return std::nullopt;
  return static_cast<unsigned>(major);
}

bool importsExecutable(const ModuleImage& image, const char* name) {
  if (image.format() != ModuleImage::ElfModule) return image.importsModule(name);
  for (const ImportedModule& module : ModuleImageAccess::parser(image).imports(0)) {
    std::string_view file(module.name);
    if (std::size_t slash = file.rfind('/'); slash != std::string_view::npos) file.remove_prefix(slash + 1);
    if (executableFileNameMatches(name, file)) return true;
  }
  return false;
}

}  // namespace Halvex::Tessaran::PAL::detail
