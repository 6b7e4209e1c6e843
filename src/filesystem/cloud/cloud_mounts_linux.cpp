// Cloud file systems mounted through rclone or GVfs, found in the mount table.
#include <boost/filesystem/operations.hpp>

#include "base/path_text.h"
#include "base/utf8.h"
#include "filesystem/cloud/cloud_files.h"
#include "filesystem/mount_table.h"
#include "pal/file_system.h"
#include "pal/settings_environment.h"

namespace fs = boost::filesystem;

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr std::string_view kRcloneType = "fuse.rclone";
constexpr std::string_view kGvfsType = "fuse.gvfsd-fuse";
// rclone keeps a handful of remotes; a longer file is read cut short.
constexpr std::size_t kMaxRcloneConfigBytes = 1 << 20;

// rclone's own search: $RCLONE_CONFIG alone where set, else the XDG file,
// then the older dotfile.
std::string rcloneConfig() {
  std::vector<std::wstring> candidates;
  if (std::wstring set = Settings::envVars().getString(L"RCLONE_CONFIG", L""); !set.empty())
    candidates.push_back(set);
  else if (const std::optional<std::wstring> config = linuxConfigFolder())
    candidates.push_back(joinedPath(*config, L"rclone/rclone.conf"));
  if (const std::optional<std::wstring> old = homeFile(L".rclone.conf")) candidates.push_back(*old);
  for (const std::wstring& file : candidates)
    if (pathExists(file)) return fileStart(file, kMaxRcloneConfigBytes).value_or(std::string());
  return {};
}

std::wstring wideName(const std::string& name) {
  return wideFromPath(fs::path(name)).value_or(utf8ToWide(name));
}

CloudMount rcloneMount(const MountEntry& m) {
  return {wideName(m.mountPoint), rcloneMountKind(rcloneConfig(), m.source)};
}

std::optional<CloudMount> gvfsMount(const MountEntry& m, const std::string& folderName) {
  std::optional<CloudKind> kind = gvfsMountKind(folderName);
  if (!kind) return std::nullopt;
  return CloudMount{wideName(m.mountPoint + "/" + folderName), std::move(*kind)};
}

}  // namespace

std::optional<CloudMount> cloudMountHolding(const wchar_t* path) {
  const std::optional<fs::path> p = pathFromWide(path);
  if (!p || p->empty()) return std::nullopt;
  boost::system::error_code ec;
  const fs::path absolute = p->is_absolute() ? *p : fs::current_path(ec) / *p;
  if (ec) return std::nullopt;
  const std::string normal = FileSystem::normalized(absolute).native();
  const std::vector<MountEntry> mounts = currentMounts();
  const MountEntry* m = mountHolding(mounts, normal);
  if (!m) return std::nullopt;
  if (m->fsType == kRcloneType) return rcloneMount(*m);
  if (m->fsType != kGvfsType || normal.size() <= m->mountPoint.size() + 1) return std::nullopt;
  const std::string below = normal.substr(m->mountPoint.size() + 1);
  return gvfsMount(*m, below.substr(0, below.find('/')));
}

std::vector<CloudMount> cloudMounts() {
  std::vector<CloudMount> found;
  for (const MountEntry& m : currentMounts()) {
    if (m.fsType == kRcloneType) found.push_back(rcloneMount(m));
    if (m.fsType != kGvfsType) continue;
    boost::system::error_code ec;
    for (fs::directory_iterator it(m.mountPoint, ec), end; !ec && it != end; it.increment(ec))
      if (std::optional<CloudMount> mount = gvfsMount(m, it->path().filename().native()))
        found.push_back(std::move(*mount));
  }
  return found;
}

}  // namespace Halvex::Tessaran::PAL::detail
