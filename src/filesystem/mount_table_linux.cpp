// Parsing /proc/self/mountinfo and finding the mount that holds a path.
#include <algorithm>
#include <array>
#include <fstream>
#include <mutex>
#include <sstream>

#include "filesystem/mount_table.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// The kernel writes space, tab, newline and backslash in names as "\ooo".
std::string unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    auto isOctal = [&](std::size_t k) { return k < field.size() && field[k] >= '0' && field[k] <= '7'; };
    if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
      out +=
          static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    std::size_t end = line.find(' ', pos);
    if (end == std::string_view::npos) end = line.size();
    if (end > pos) fields.push_back(line.substr(pos, end - pos));
    pos = end + 1;
  }
  return fields;
}

// File systems whose data lives on another machine. FUSE file systems carry
// their helper's name after "fuse.".
constexpr std::array<std::string_view, 18> kNetworkTypes = {
    "nfs",        "nfs4",          "cifs",           "smb3",        "smbfs",     "ncpfs",
    "afs",        "coda",          "ceph",           "glusterfs",   "lustre",    "9p",
    "fuse.sshfs", "fuse.smbnetfs", "fuse.glusterfs", "fuse.rclone", "fuse.s3fs", "fuse.davfs",
};

}  // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
  std::vector<MountEntry> mounts;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string_view> f = splitFields(text.substr(pos, end - pos));
    pos = end + 1;

    // id parent major:minor root mount-point options [optional...] - type source super-options
    auto dash = std::find(f.begin() + std::min<std::size_t>(f.size(), 6), f.end(), "-");
    if (f.size() < 6 || dash == f.end() || f.end() - dash < 3) continue;
    MountEntry m{unescape(f[3]),    unescape(f[4]),    unescape(dash[1]),
                 unescape(dash[2]), std::string(f[2]), std::string(f[5])};
    if (f.end() - dash > 3) m.options += ',' + std::string(dash[3]);
    if (m.root.empty() || m.root[0] != '/' || m.mountPoint.empty() || m.mountPoint[0] != '/') continue;
    mounts.push_back(std::move(m));
  }
  return mounts;
}

bool isNetworkFileSystem(std::string_view fsType) {
  return std::find(kNetworkTypes.begin(), kNetworkTypes.end(), fsType) != kNetworkTypes.end();
}

const MountEntry* mountHolding(const std::vector<MountEntry>& mounts, const std::string& absolutePath) {
  const MountEntry* best = nullptr;
  for (const MountEntry& m : mounts) {
    const std::string& mp = m.mountPoint;
    const bool holds = mp == "/" ? absolutePath.starts_with('/')
                                 : absolutePath.starts_with(mp) &&
                                       (absolutePath.size() == mp.size() || absolutePath[mp.size()] == '/');
    // ">=": a later mount on the same point hides the earlier one.
    if (holds && (!best || mp.size() >= best->mountPoint.size())) best = &m;
  }
  return best;
}

std::optional<std::string> remoteNameIn(const std::vector<MountEntry>& mounts,
                                        const std::string& absolutePath) {
  const MountEntry* m = mountHolding(mounts, absolutePath);
  if (!m || !isNetworkFileSystem(m->fsType)) return std::nullopt;

  std::string inner = m->root == "/" ? std::string() : m->root;
  inner += absolutePath.substr(m->mountPoint == "/" ? 0 : m->mountPoint.size());
  std::string remote = m->source;
  // "host:" (an SSHFS home) and "server:/" already end where the inner path
  // starts.
  if (!inner.empty() && !remote.empty() && (remote.back() == '/' || remote.back() == ':')) inner.erase(0, 1);
  return remote + inner;
}

bool isReadOnlyMount(const MountEntry& m) {
  std::string_view rest = m.options;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    if (rest.substr(0, comma) == "ro") return true;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return false;
}

namespace {

struct Source {
  std::mutex lock;
  std::string path;
};

Source& source() {
  static Source s;
  return s;
}

}  // namespace

std::vector<MountEntry> currentMounts() {
  std::string path;
  {
    Source& s = source();
    std::lock_guard guard(s.lock);
    path = s.path.empty() ? std::string("/proc/self/mountinfo") : s.path;
  }
  std::ifstream in(path);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return parseMountInfo(text.str());
}

void setMountInfoSource(std::string mountInfoPath) {
  Source& s = source();
  std::lock_guard guard(s.lock);
  s.path = std::move(mountInfoPath);
}

}  // namespace Halvex::Tessaran::PAL::detail
