// Drive types and file-system facts of the mounted file systems.
#pragma once

#include <string>
#include <vector>

#include "filesystem/mount_table.h"

namespace Halvex::Tessaran::PAL::detail {

enum DriveType : unsigned {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdRom = 5,
  kDriveRamDisk = 6,
};

// File-system flag bits a Windows caller tests.
constexpr unsigned kCaseSensitiveSearch = 0x1;
constexpr unsigned kCasePreservedNames = 0x2;
constexpr unsigned kReadOnlyVolume = 0x80000;

// The drive type of the mount `m`; a block device counts as removable when
// sysfs under `sysRoot` ("/sys") calls it or its whole disk removable, or
// places it below a USB controller.
unsigned driveTypeOf(const MountEntry& m, const std::string& sysRoot);

unsigned fileSystemFlagsOf(const MountEntry& m);

// Where the volume queries read the mount table and sysfs, for tests to point
// them at fixtures; empty restores /proc/self/mountinfo and /sys.
void setVolumeSources(std::string mountInfoPath, std::string sysRoot);

// The drive type of the folder `root`, 1 when it is no folder.
unsigned driveTypeOfRoot(const std::string& root);

}  // namespace Halvex::Tessaran::PAL::detail
