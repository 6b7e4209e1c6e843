// Fuzzes the mount table parser and the remote-name lookup and the
// file-system flags over its result.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "filesystem/mount_table.h"
#include "filesystem/volumes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace detail = Halvex::Tessaran::PAL::detail;
  const std::vector<detail::MountEntry> mounts =
      detail::parseMountInfo(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const detail::MountEntry& m : mounts) {
    if (m.mountPoint.empty() || m.mountPoint[0] != '/' || m.root.empty() || m.root[0] != '/')
      __builtin_trap();
    const std::optional<std::string> remote = detail::remoteNameIn(mounts, m.mountPoint + "/f");
    if (remote && !detail::isNetworkFileSystem(detail::mountHolding(mounts, m.mountPoint + "/f")->fsType))
      __builtin_trap();
    if (detail::isReadOnlyMount(m) != ((detail::fileSystemFlagsOf(m) & detail::kReadOnlyVolume) != 0))
      __builtin_trap();
  }
  return 0;
}
