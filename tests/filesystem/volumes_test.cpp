// Volumes: drive types and flags from mount-table fixtures and a made-up
// sysfs, and the volume queries on this machine's own folders.
#include "filesystem/volumes.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "pal/file_system_volumes.h"
#include "support/temp_dir.h"

namespace {

namespace FS = Halvex::Tessaran::PAL::FileSystem;
using namespace Halvex::Tessaran::PAL::detail;

std::wstring wide(const std::string& s) {
  return std::wstring(s.begin(), s.end());
}

void writeFile(const std::filesystem::path& p, const std::string& text) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p) << text;
}

TEST(Volumes, DriveTypesFromTheMountTable) {
  // A sysfs shaped as the kernel lays it out: /sys/dev/block/M:m links into
  // /sys/devices, a partition's folder sits inside its disk's.
  kvpal::test::TempDir sys;
  const std::filesystem::path root = sys.path();
  const std::filesystem::path pci = root / "devices/pci0000:00";
  writeFile(pci / "ata1/block/sda/removable", "0\n");
  writeFile(pci / "ata1/block/sda/sda1/partition", "1\n");
  writeFile(pci / "sdcard/block/mmcblk0/removable", "1\n");
  writeFile(pci / "sdcard/block/mmcblk0/mmcblk0p1/partition", "1\n");
  writeFile(pci / "usb1/1-1/host6/block/sdb/removable", "0\n");
  writeFile(pci / "usb1/1-1/host6/block/sdb/sdb1/partition", "1\n");
  writeFile(pci / "sr/block/sr0/removable", "1\n");
  std::filesystem::create_directories(root / "dev/block");
  const std::pair<const char*, const char*> links[] = {
      {"8:0", "ata1/block/sda"},
      {"8:1", "ata1/block/sda/sda1"},
      {"179:0", "sdcard/block/mmcblk0"},
      {"179:1", "sdcard/block/mmcblk0/mmcblk0p1"},
      {"8:17", "usb1/1-1/host6/block/sdb/sdb1"},
      {"11:0", "sr/block/sr0"},
  };
  for (const auto& [device, target] : links)
    std::filesystem::create_directory_symlink(pci / target, root / "dev/block" / device);

  const std::vector<MountEntry> mounts = parseMountInfo(
      "22 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
      "23 22 8:0 / /disk rw - ext4 /dev/sda rw\n"
      "24 22 179:1 / /media/card rw,nosuid - vfat /dev/mmcblk0p1 rw\n"
      "25 22 179:0 / /media/whole rw - ext4 /dev/mmcblk0 rw\n"
      "26 22 8:17 / /media/stick rw - exfat /dev/sdb1 rw\n"
      "27 22 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
      "28 22 7:0 / /media/dvd ro - udf /dev/loop0 ro\n"
      "29 22 0:40 / /mnt/nfs rw - nfs4 srv:/export rw\n"
      "30 22 0:41 / /mnt/smb rw - cifs //srv/share rw\n"
      "31 22 0:42 / /tmp rw - tmpfs tmpfs rw\n"
      "32 22 0:43 / /mnt/ram rw - ramfs none rw\n"
      "33 22 0:44 / /data rw - btrfs /dev/nvme0n1p2 rw\n"
      "34 22 8:99 / /mnt/nosys rw - xfs /dev/sdg3 rw\n");
  const std::map<std::string, unsigned> expected = {
      {"/", kDriveFixed},
      {"/disk", kDriveFixed},
      {"/media/card", kDriveRemovable},
      {"/media/whole", kDriveRemovable},
      {"/media/stick", kDriveRemovable},
      {"/media/cdrom", kDriveCdRom},
      {"/media/dvd", kDriveCdRom},
      {"/mnt/nfs", kDriveRemote},
      {"/mnt/smb", kDriveRemote},
      {"/tmp", kDriveRamDisk},
      {"/mnt/ram", kDriveRamDisk},
      {"/data", kDriveFixed},
      {"/mnt/nosys", kDriveFixed},
  };
  ASSERT_EQ(mounts.size(), expected.size());
  for (const MountEntry& m : mounts) {
    SCOPED_TRACE(m.mountPoint);
    EXPECT_EQ(driveTypeOf(m, sys.path()), expected.at(m.mountPoint));
  }
}

TEST(Volumes, FileSystemFlagsAndReadOnlyMounts) {
  const std::vector<MountEntry> mounts = parseMountInfo(
      "1 0 8:1 / /a rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
      "2 1 8:2 / /b ro,relatime - ext4 /dev/sda2 rw\n"
      "3 1 8:3 / /c rw - ext4 /dev/sda3 ro\n"
      "4 1 8:4 / /d rw - vfat /dev/sda4 rw,shortname=mixed\n"
      "5 1 8:5 / /e rw - exfat /dev/sda5 rw\n"
      "6 1 8:6 / /f ro - msdos /dev/sda6 ro\n"
      "7 1 8:7 / /g rw,ro - xfs /dev/sda7 rw\n"
      "8 1 8:8 / /h rw - xfs /dev/sda8\n");
  const unsigned both = kCaseSensitiveSearch | kCasePreservedNames;
  const std::map<std::string, unsigned> expected = {
      {"/a", both},
      {"/b", both | kReadOnlyVolume},
      {"/c", both | kReadOnlyVolume},
      {"/d", kCasePreservedNames},
      {"/e", kCasePreservedNames},
      {"/f", kReadOnlyVolume},
      {"/g", both | kReadOnlyVolume},
      {"/h", both},
  };
  ASSERT_EQ(mounts.size(), expected.size());
  for (const MountEntry& m : mounts) {
    SCOPED_TRACE(m.mountPoint);
    EXPECT_EQ(fileSystemFlagsOf(m), expected.at(m.mountPoint));
  }
  EXPECT_EQ(mounts[0].device, "8:1");
}

// Folders of a temporary tree mounted, as a mount-table fixture tells it,
// with the file systems whose descriptors differ.
TEST(Volumes, DescriptorsFromAMountTableFixture) {
  kvpal::test::TempDir dir;
  const std::string base = std::filesystem::canonical(dir.path()).string();
  for (const char* folder : {"cd/sub", "stick", "nfs", "ram", "disk", "dos"})
    std::filesystem::create_directories(base + "/" + folder);
  writeFile(base + "/sys/devices/usb1/1-1/block/sdb/removable", "0\n");
  writeFile(base + "/sys/devices/usb1/1-1/block/sdb/sdb1/partition", "1\n");
  std::filesystem::create_directories(base + "/sys/dev/block");
  std::filesystem::create_directory_symlink(base + "/sys/devices/usb1/1-1/block/sdb/sdb1",
                                            base + "/sys/dev/block/8:17");
  writeFile(base + "/mountinfo",
            "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
            "2 1 11:0 / " +
                base +
                "/cd ro - iso9660 /dev/sr0 ro\n"
                "3 1 8:17 / " +
                base +
                "/stick rw - vfat /dev/sdb1 rw\n"
                "4 1 0:40 / " +
                base +
                "/nfs rw - nfs4 srv:/x rw\n"
                "5 1 0:41 / " +
                base +
                "/ram rw - tmpfs tmpfs rw\n"
                "6 1 8:2 / " +
                base + "/dos rw - msdos /dev/sda2 rw\n");
  struct Restore {
    ~Restore() { setVolumeSources("", ""); }
  } restore;
  setVolumeSources(base + "/mountinfo", base + "/sys");

  const struct {
    const char* folder;
    bool removable, remote, readOnly, casePreserving;
    const wchar_t* fileSystem;  // empty: no volume
  } cases[] = {
      {"cd", false, false, true, true, L"iso9660"},  {"cd/sub", false, false, true, true, L"iso9660"},
      {"stick", true, false, false, true, L"vfat"},  {"nfs", false, true, false, true, L"nfs4"},
      {"ram", false, false, false, true, L"tmpfs"},  {"disk", false, false, false, true, L"ext4"},
      {"dos", false, false, false, false, L"msdos"}, {"cd/missing", false, false, false, true, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    const std::wstring root = wide(base + "/" + c.folder);
    std::unique_ptr<FS::VolumeDescriptor> d(FS::CreateVolumeDescriptor(root.c_str()));
    EXPECT_EQ(d->IsRemovable(), c.removable);
    EXPECT_EQ(d->IsRemote(), c.remote);
    EXPECT_EQ(d->IsReadOnly(), c.readOnly);
    EXPECT_EQ(d->IsCasePreserving(), c.casePreserving);
    bool shortNames = false;
    EXPECT_EQ(FS::getVolumeInformation(root.c_str(), shortNames), c.fileSystem);
    EXPECT_EQ(FS::isDriveValid(root.c_str()), *c.fileSystem != L'\0');
  }
}

TEST(Volumes, DescriptorsOfThisMachine) {
  kvpal::test::TempDir dir;
  struct statvfs sv {};
  ASSERT_EQ(::statvfs(dir.path().c_str(), &sv), 0);
  std::unique_ptr<FS::VolumeDescriptor> d(FS::CreateVolumeDescriptor(wide(dir.path()).c_str()));
  EXPECT_EQ(d->getMaxComponentSize(), sv.f_namemax);
  EXPECT_TRUE(d->IsCasePreserving());
  EXPECT_TRUE(FS::isDriveValid(wide(dir.path()).c_str()));
  bool shortNames = true;
  EXPECT_FALSE(FS::getVolumeInformation(wide(dir.path()).c_str(), shortNames).empty());
  EXPECT_FALSE(shortNames);

  // A copy takes every field.
  FS::WinVolumeDescriptor copy = *static_cast<FS::WinVolumeDescriptor*>(d.get());
  EXPECT_EQ(copy.getMaxComponentSize(), d->getMaxComponentSize());
  EXPECT_EQ(copy.IsRemovable(), d->IsRemovable());
  EXPECT_TRUE(copy.IsCasePreserving());

  // The proc file system is never removable, remote or read-only media.
  std::unique_ptr<FS::VolumeDescriptor> proc(FS::CreateVolumeDescriptor(L"/proc"));
  EXPECT_FALSE(proc->IsRemovable() || proc->IsRemote() || proc->IsReadOnly());
  shortNames = true;
  EXPECT_EQ(FS::getVolumeInformation(L"/proc", shortNames), L"proc");
  EXPECT_FALSE(shortNames);
}

TEST(Volumes, MissingRoots) {
  kvpal::test::TempDir dir;
  const std::wstring missing = wide(dir.path() + "/missing");
  const std::wstring file = wide(dir.path() + "/file");
  std::ofstream(dir.path() + "/file") << "x";
  for (const std::wstring& root : {missing, file, std::wstring(L"//nohost/share")}) {
    SCOPED_TRACE(std::string(root.begin(), root.end()));
    std::unique_ptr<FS::VolumeDescriptor> d(FS::CreateVolumeDescriptor(root.c_str()));
    EXPECT_EQ(d->IsRemote(), root[1] == L'/');
    EXPECT_FALSE(d->IsRemovable());
    EXPECT_FALSE(d->IsReadOnly());
    EXPECT_TRUE(d->IsCasePreserving());
    EXPECT_FALSE(FS::isDriveValid(root.c_str()));
  }
  // A missing folder has no volume to describe.
  bool shortNames = true;
  EXPECT_EQ(FS::getVolumeInformation(missing.c_str(), shortNames), L"");
  EXPECT_TRUE(shortNames);
  std::unique_ptr<FS::VolumeDescriptor> d(FS::CreateVolumeDescriptor(missing.c_str()));
  EXPECT_EQ(d->getMaxComponentSize(), 255u);
  EXPECT_FALSE(FS::isDriveValid(nullptr));
}

TEST(Volumes, FreeSpace) {
  kvpal::test::TempDir dir;
  EXPECT_EQ(FS::getFreeSpace(wide(dir.path() + "/missing").c_str()), 2097151u);
  EXPECT_EQ(FS::getFreeSpace(nullptr), 2097151u);
  struct statvfs sv {};
  ASSERT_EQ(::statvfs(dir.path().c_str(), &sv), 0);
  const unsigned long long totalKiB = (static_cast<unsigned long long>(sv.f_blocks) * sv.f_frsize) >> 10;
  const unsigned long long free = FS::getFreeSpace(wide(dir.path()).c_str());
  EXPECT_LE(free, totalKiB);
}

TEST(Volumes, CreationTime) {
  kvpal::test::TempDir dir;
  boost::system::error_code ec;
  EXPECT_EQ(FS::create_time(dir.path() + "/missing", ec), -1);
  EXPECT_EQ(ec, boost::system::errc::no_such_file_or_directory);

  const std::time_t before = std::time(nullptr);
  std::ofstream(dir.path() + "/new") << "x";
  const std::time_t after = std::time(nullptr);
  // Success leaves the error code as it was.
  ec = boost::system::errc::make_error_code(boost::system::errc::io_error);
  const long long created = FS::create_time(dir.path() + "/new", ec);
  if (ec == boost::system::errc::not_supported) {
    EXPECT_EQ(created, -1);
  } else {
    EXPECT_EQ(ec, boost::system::errc::io_error);
    EXPECT_GE(created, before - 1);
    EXPECT_LE(created, after + 1);
  }
}

}  // namespace
