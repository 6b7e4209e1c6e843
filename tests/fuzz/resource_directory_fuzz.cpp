// Reads arbitrary bytes as a module file and as a bare resource section, and
// asks every question the resource functions and the kvpal tool ask of them.
#include <cstdint>
#include <cstdlib>

#include "modules/resource_directory.h"

namespace {

namespace detail = Halvex::Tessaran::PAL::detail;

const std::uint8_t* gBegin = nullptr;
const std::uint8_t* gEnd = nullptr;

void mustBeInside(const detail::ByteView& bytes) {
  if (bytes.size() > 0 &&
      (bytes.data() < gBegin || bytes.size() > static_cast<std::size_t>(gEnd - bytes.data())))
    std::abort();
}

void query(const detail::ResourceDirectory& directory) {
  using detail::ResourceKey;
  for (const detail::ResourceEntry& e : directory.entries()) {
    mustBeInside(e.data);
    if (e.type.id == detail::kRtString) detail::stringTableStrings(e);
  }
  for (unsigned id : {0u, 1u, 15u, 16u, 100u, 0xFFFFu})
    for (auto language : {std::optional<std::uint16_t>(), std::optional<std::uint16_t>(0x409)}) {
      directory.string(id, language);
      for (std::uint16_t type : {detail::kRtBitmap, detail::kRtRcData})
        if (auto data = directory.find(ResourceKey::number(type),
                                       ResourceKey::number(static_cast<std::uint16_t>(id)), language))
          mustBeInside(*data);
    }
  if (auto data = directory.find(ResourceKey::fromText(L"MESSAGE"), ResourceKey::fromText(L"GREETING")))
    mustBeInside(*data);
  for (const wchar_t* path : {L"\\StringFileInfo\\040904b0\\ModuleType", L"\\VarFileInfo\\Translation", L"\\",
                              L"\\a\\b\\c\\d\\e\\f\\g\\h"})
    detail::versionString(directory, path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gBegin = data;
  gEnd = data + size;
  detail::ByteView bytes(data, size);
  query(detail::ResourceDirectory::ofImage(bytes));
  query(detail::ResourceDirectory(bytes, 0));
  return 0;
}
