// The mount table, read from /proc/self/mountinfo, for telling network
// mounts apart, naming a file by its remote source and seeing bind mounts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

struct MountEntry {
  std::string root;        // the folder of the mounted file system seen at the mount point
  std::string mountPoint;  // absolute, without a trailing '/' (except "/")
  std::string fsType;      // "nfs4", "cifs", "fuse.sshfs", ...
  std::string source;      // "server:/export", "//server/share", "user@host:", ...
  std::string device;      // "major:minor", shared by every mount of one file system
  std::string options;     // the mount's options, then the file system's, comma-separated
};

// Lines that do not have the mountinfo shape are skipped; octal escapes
// ("\040" for a space) are decoded.
std::vector<MountEntry> parseMountInfo(std::string_view text);

bool isNetworkFileSystem(std::string_view fsType);

// The mount that holds `absolutePath` (lexically normalised): the deepest
// mount point above it, the later entry when two are mounted on the same
// point. Null when none matches.
const MountEntry* mountHolding(const std::vector<MountEntry>& mounts, const std::string& absolutePath);

// The remote name of `absolutePath` under a network mount, or nothing when
// the path lies on a local file system.
std::optional<std::string> remoteNameIn(const std::vector<MountEntry>& mounts,
                                        const std::string& absolutePath);

// Whether the mount is read-only ("ro" among its options).
bool isReadOnlyMount(const MountEntry& m);

// The current process's mount table; empty when it cannot be read.
std::vector<MountEntry> currentMounts();

// Where currentMounts() reads, for tests to point it at a fixture; empty
// restores /proc/self/mountinfo.
void setMountInfoSource(std::string mountInfoPath);

}  // namespace Halvex::Tessaran::PAL::detail
