// Volumes from the mount table, sysfs and statvfs; birth times from statx.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <boost/filesystem/operations.hpp>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "base/path_text.h"
#include "filesystem/file_io_internal.h"
#include "filesystem/unreachable_paths.h"
#include "filesystem/volumes.h"
#include "pal/file_system.h"
#include "pal/file_system_volumes.h"
#include "platform/posix_util.h"

namespace fs = boost::filesystem;

namespace Halvex::Tessaran::PAL {

namespace detail {

namespace {

bool flagFileSet(const fs::path& file) {
  std::string bytes;
  return readRegularFile(file.c_str(), bytes) && !bytes.empty() && bytes[0] == '1';
}

struct Sources {
  std::mutex lock;
  std::string sysRoot;
};

Sources& sources() {
  static Sources s;
  return s;
}

std::string sysRoot() {
  Sources& s = sources();
  std::lock_guard guard(s.lock);
  return s.sysRoot.empty() ? std::string("/sys") : s.sysRoot;
}

std::optional<std::string> realFolder(const std::string& path) {
  char real[PATH_MAX];
  if (!::realpath(path.c_str(), real)) return std::nullopt;
  return std::string(real);
}

}  // namespace

unsigned driveTypeOf(const MountEntry& m, const std::string& sysRoot) {
  if (isNetworkFileSystem(m.fsType)) return kDriveRemote;
  if (m.fsType == "iso9660" || m.fsType == "udf") return kDriveCdRom;
  if (m.fsType == "tmpfs" || m.fsType == "ramfs") return kDriveRamDisk;
  // Major 0 holds the devices without a block device behind them.
  if (!m.device.empty() && !m.device.starts_with("0:")) {
    const fs::path device = fs::path(sysRoot) / "dev/block" / m.device;
    boost::system::error_code ec;
    if (flagFileSet(device / "removable")) return kDriveRemovable;
    // A partition's flag sits on its whole disk, the folder above it.
    if (fs::exists(device / "partition", ec) && flagFileSet(device / ".." / "removable"))
      return kDriveRemovable;
    const fs::path real = fs::canonical(device, ec);
    if (!ec && real.native().find("/usb") != std::string::npos) return kDriveRemovable;
  }
  return kDriveFixed;
}

unsigned fileSystemFlagsOf(const MountEntry& m) {
  unsigned flags = kCaseSensitiveSearch | kCasePreservedNames;
  if (m.fsType == "vfat" || m.fsType == "exfat") flags = kCasePreservedNames;
  if (m.fsType == "msdos") flags = 0;
  if (isReadOnlyMount(m)) flags |= kReadOnlyVolume;
  return flags;
}

void setVolumeSources(std::string mountInfoPath, std::string sysRootPath) {
  setMountInfoSource(std::move(mountInfoPath));
  Sources& s = sources();
  std::lock_guard guard(s.lock);
  s.sysRoot = std::move(sysRootPath);
}

unsigned driveTypeOfRoot(const std::string& root) {
  struct stat st {};
  if (root.empty() || ::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kDriveNoRootDir;
  const std::optional<std::string> real = realFolder(root);
  const std::vector<MountEntry> mounts = currentMounts();
  const MountEntry* m = real ? mountHolding(mounts, *real) : nullptr;
  return m ? driveTypeOf(*m, sysRoot()) : kDriveUnknown;
}

}  // namespace detail

namespace FileSystem {

using namespace detail;

namespace {

constexpr std::wstring_view kDriveTypeOperation = L"GetDriveType";
constexpr std::uint64_t kSlowMs = 3000;

unsigned driveType(const wchar_t* root) {
  const std::optional<fs::path> p = pathFromWide(root);
  return p ? driveTypeOfRoot(p->native()) : kDriveNoRootDir;
}

struct VolumeFacts {
  unsigned long maxComponentLength;
  unsigned flags;
  std::string fileSystemName;
};

std::optional<VolumeFacts> queryVolume(const wchar_t* root) {
  const std::optional<fs::path> p = pathFromWide(root);
  if (!p || p->empty()) {
    setLastError(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  struct statvfs sv {};
  if (::statvfs(p->c_str(), &sv) != 0) {
    setLastErrorFromErrno();
    return std::nullopt;
  }
  char real[PATH_MAX];
  if (!::realpath(p->c_str(), real)) {
    setLastErrorFromErrno();
    return std::nullopt;
  }
  const std::vector<MountEntry> mounts = currentMounts();
  const MountEntry* m = mountHolding(mounts, real);
  if (!m) {
    setLastError(ERROR_GEN_FAILURE);
    return std::nullopt;
  }
  return VolumeFacts{sv.f_namemax, fileSystemFlagsOf(*m), m->fsType};
}

}  // namespace

WinVolumeDescriptor::WinVolumeDescriptor(const wchar_t* root) : fileSystemFlags(0) {
  const bool tablePath = isTablePath(root);
  const bool marked = tablePath && isMarked(kDriveTypeOperation, root);
  unsigned type = kDriveNoRootDir;
  if (!marked) {
    const std::uint64_t start = tickMs();
    if (const int err = injectedFailure("GetDriveType"))
      setLastErrorFromErrno(err);
    else
      type = driveType(root);
    if (type == kDriveNoRootDir && tablePath && tickMs() - start > kSlowMs) mark(kDriveTypeOperation, root);
  }

  switch (type) {
    case kDriveNoRootDir:
      remote = root && is_dir_separator(root[0]) && is_dir_separator(root[1]);
      break;
    case kDriveRemovable:
      removable = true;
      break;
    case kDriveRemote:
      remote = true;
      break;
    case kDriveCdRom:
      readOnly = true;
      break;
    default:
      break;
  }

  const std::optional<VolumeFacts> facts = marked ? std::nullopt : queryVolume(root);
  maxComponentSize = facts ? static_cast<unsigned>(facts->maxComponentLength) : 255;
  fileSystemFlags = facts ? facts->flags : kCasePreservedNames;
}

VolumeDescriptor* CreateVolumeDescriptor(const wchar_t* root) {
  std::wstring withSeparator = root ? root : L"";
  withSeparator += L'/';
  return new WinVolumeDescriptor(withSeparator.c_str());
}

std::wstring getVolumeInformation(const wchar_t* root, bool& shortNamesOnly) {
  const std::optional<VolumeFacts> facts = queryVolume(root);
  if (!facts) return {};
  const std::optional<std::wstring> name = wideFromPath(facts->fileSystemName);
  if (!name) return {};
  // Twelve characters is the 8.3 form.
  shortNamesOnly = facts->maxComponentLength == 12;
  return *name;
}

unsigned __int64 getFreeSpace(const wchar_t* directory) {
  // What a caller is told when the volume cannot be asked.
  constexpr unsigned __int64 kUnknownFreeBytes = 2147483647;
  const std::optional<fs::path> p = pathFromWide(directory);
  struct statvfs sv {};
  unsigned __int64 bytes = kUnknownFreeBytes;
  if (!p || p->empty())
    setLastError(ERROR_INVALID_NAME);
  else if (::statvfs(p->c_str(), &sv) != 0)
    setLastErrorFromErrno();
  else
    bytes = static_cast<unsigned __int64>(sv.f_bavail) * sv.f_frsize;
  return bytes >> 10;
}

__int64 create_time(const fs::path& p, boost::system::error_code& ec) {
  struct statx sx {};
  if (::statx(AT_FDCWD, p.c_str(), 0, STATX_BTIME, &sx) != 0) {
    ec.assign(errno, boost::system::system_category());
    return -1;
  }
  if (!(sx.stx_mask & STATX_BTIME)) {
    ec.assign(ENOTSUP, boost::system::system_category());
    return -1;
  }
  return secondsFromUnixTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
}

bool isDriveValid(const wchar_t* root) {
  return driveType(root) >= kDriveRemovable;
}

}  // namespace FileSystem

}  // namespace Halvex::Tessaran::PAL
