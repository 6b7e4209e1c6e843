// Network-aware file-system queries that stop asking about a network path for
// a while once a call on it failed slowly, and volume descriptors.
//
// The waiting: a network path (one on a network mount, or starting with two
// separators as "//server/share") on which a call failed after more than
// three seconds is remembered for that operation for 30 seconds; meanwhile
// the operation answers at once as if it had failed. Keys are compared
// exactly, so letter case matters.
//
// Where Linux differs from what a Windows caller expects:
// - Attributes come from stat (symbolic links followed); a name starting
//   with '.' is hidden.
// - `networkAwareGetAttributes` with a base folder: a path that is absolute
//   here (starts with '/') is taken as it is, any other is joined to the base.
// - `networkAwareLastWriteTime` matches the last component of the path, in
//   which '*' and '?' are wildcards (case-sensitively, with no special
//   meaning for "*.*"), against the entries of its folder in the folder's
//   order, "." and ".." included. The outputs are the first match's own
//   last-write FILETIME (a symbolic link's, not its target's). The handle is
//   one of this library's (the open folder stream); release it with
//   `findClose`, never with anything else.
// - A volume root is a mount point or any folder on the mounted file system;
//   `CreateVolumeDescriptor` appends '/'. Drive types: 1 the root is no
//   existing folder, 2 removable (the block device is removable or USB-attached), 3
//   fixed, 4 remote (network file systems), 5 CD-ROM (iso9660, udf), 6 RAM
//   disk (tmpfs, ramfs).
// - The file-system name is the kernel's type name ("ext4", "nfs4", "vfat");
//   the maximum component length comes from statvfs. File systems are
//   case-sensitive and case-preserving except vfat and exfat (case-preserving
//   only) and msdos (neither). `IsReadOnly` follows the drive type (CD-ROM
//   drives), not the mount options.
// - `getFreeSpace` counts the blocks available to unprivileged callers; when
//   that fails the answer is 2147483647 bytes (2097151 KiB).
// - `create_time` is the birth time statx reports. On failure `ec` holds the
//   errno value in the system category (as Boost reports it here); on a file
//   system that records no birth time, the result is -1 with `ec` set to
//   ENOTSUP.
#pragma once

#include <boost/filesystem/path.hpp>
#include <boost/system/error_code.hpp>
#include <string>

#include "pal/export.h"
#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::FileSystem {

struct FileAttributes {
  bool exists;
  bool isDirectory;
  bool isHidden;
};

// File-system kinds are the caller's; the library answers 0 for a path it
// does not ask about.
enum FS_TYPE : int { FS_TYPE_UNKNOWN = 0 };

class PAL_EXPORT VolumeDescriptor {
 public:
  VolumeDescriptor();
  VolumeDescriptor(const VolumeDescriptor&) = default;
  VolumeDescriptor& operator=(const VolumeDescriptor&) = default;

  bool IsRemovable() const;
  bool IsRemote() const;
  bool IsReadOnly() const;
  unsigned long getMaxComponentSize() const;

  virtual bool IsCasePreserving() const = 0;
  // After IsCasePreserving, which keeps the first slot: descriptors are
  // released with `delete` through this class.
  virtual ~VolumeDescriptor();

 protected:
  bool removable;
  bool remote;
  bool readOnly;
  unsigned maxComponentSize;
};

class PAL_EXPORT WinVolumeDescriptor : public VolumeDescriptor {
 public:
  // `root` with its trailing separator.
  explicit WinVolumeDescriptor(const wchar_t* root);
  bool IsCasePreserving() const override;

 private:
  unsigned fileSystemFlags;
};

PAL_EXPORT FileAttributes networkAwareGetAttributes(const wchar_t* path, const wchar_t* baseDir);
PAL_EXPORT FS_TYPE networkAwareGetFileSystem(const wchar_t* path, FS_TYPE fallback);
// Empty on success; otherwise the current directory, which is set again.
PAL_EXPORT std::wstring networkAwareChangeDir(const wchar_t* path, bool noChange);
// A find handle, or the invalid handle (all bits set) when nothing matches.
PAL_EXPORT void* networkAwareLastWriteTime(const wchar_t* path, unsigned int& lowTime,
                                           unsigned int& highTime);
// Releases a handle of networkAwareLastWriteTime; false for the invalid
// handle or null.
PAL_EXPORT bool findClose(void* handle);

// Owned by the caller; `root` comes without its trailing separator.
PAL_EXPORT VolumeDescriptor* CreateVolumeDescriptor(const wchar_t* root);
PAL_EXPORT std::wstring getVolumeInformation(const wchar_t* root, bool& shortNamesOnly);
// In KiB.
PAL_EXPORT unsigned __int64 getFreeSpace(const wchar_t* directory);
PAL_EXPORT __int64 create_time(const boost::filesystem::path& p, boost::system::error_code& ec);
PAL_EXPORT bool isDriveValid(const wchar_t* root);

}  // namespace Halvex::Tessaran::PAL::FileSystem
