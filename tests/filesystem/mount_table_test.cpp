// Mount table parsing and the remote names of files under network mounts.
#include "filesystem/mount_table.h"

#include <gtest/gtest.h>

namespace {

using namespace Halvex::Tessaran::PAL::detail;

// Written the way the kernel writes /proc/self/mountinfo, with the shapes that
// matter: optional fields, escaped names, bind mounts of a subfolder, a local
// mount inside a network one, a mount hidden by a later one, bad lines.
constexpr const char* kMountInfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "30 22 0:40 / /mnt/nfs rw,relatime shared:5 master:2 - nfs4 fileserver:/export/home rw,vers=4.2\n"
    "31 22 0:41 / /mnt/share\\040one rw - cifs //winsrv/Public\\040Docs rw,vers=3.1.1\n"
    "32 22 0:42 / /home/u/remote rw,nosuid - fuse.sshfs u@host: rw,user_id=1000\n"
    "33 22 0:43 /projects /srv/proj rw - nfs fileserver:/export rw\n"
    "34 30 8:2 / /mnt/nfs/local rw - ext4 /dev/sdb1 rw\n"
    "35 22 0:44 / /mnt/over rw - nfs old:/gone rw\n"
    "36 22 8:3 / /mnt/over rw - ext4 /dev/sdc1 rw\n"
    "37 22 0:45 / /mnt/root rw - nfs rootsrv:/ rw\n"
    "not a mount line\n"
    "38 22 0:46 / relative rw - nfs x:/y rw\n"
    "39 22 0:47 / /mnt/short rw - nfs\n"
    "40 22 0:48 / /mnt/nodash rw shared:9 nfs a:/b rw\n"
    "\n";

TEST(MountTable, ParsesWellFormedLinesOnly) {
  const std::vector<MountEntry> mounts = parseMountInfo(kMountInfo);
  std::vector<std::string> points;
  for (const MountEntry& m : mounts) points.push_back(m.mountPoint);
  EXPECT_EQ(points,
            (std::vector<std::string>{"/", "/mnt/nfs", "/mnt/share one", "/home/u/remote", "/srv/proj",
                                      "/mnt/nfs/local", "/mnt/over", "/mnt/over", "/mnt/root"}));
  ASSERT_GE(mounts.size(), 5u);
  EXPECT_EQ(mounts[1].fsType, "nfs4");
  EXPECT_EQ(mounts[1].source, "fileserver:/export/home");
  EXPECT_EQ(mounts[2].source, "//winsrv/Public Docs");
  EXPECT_EQ(mounts[4].root, "/projects");
}

TEST(MountTable, RemoteNames) {
  const std::vector<MountEntry> mounts = parseMountInfo(kMountInfo);
  struct Case {
    const char* path;
    const char* remote;  // null: not on a network mount
  } cases[] = {
      {"/mnt/nfs/docs/a.txt", "fileserver:/export/home/docs/a.txt"},
      {"/mnt/nfs", "fileserver:/export/home"},
      {"/mnt/nfsx/a.txt", nullptr},  // a mount point matches whole elements only
      {"/mnt/share one/f.txt", "//winsrv/Public Docs/f.txt"},
      {"/home/u/remote/notes.txt", "u@host:notes.txt"},
      {"/home/u/remote", "u@host:"},
      {"/srv/proj/a/b", "fileserver:/export/projects/a/b"},
      {"/mnt/nfs/local/f", nullptr},
      {"/mnt/over/f", nullptr},
      {"/mnt/root/x", "rootsrv:/x"},
      {"/mnt/root", "rootsrv:/"},
      {"/etc/passwd", nullptr},
      {"relative/path", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::optional<std::string> remote = remoteNameIn(mounts, c.path);
    if (c.remote) {
      ASSERT_TRUE(remote.has_value());
      EXPECT_EQ(*remote, c.remote);
    } else {
      EXPECT_FALSE(remote.has_value()) << *remote;
    }
  }
}

TEST(MountTable, NetworkTypes) {
  for (const char* type : {"nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "ceph"})
    EXPECT_TRUE(isNetworkFileSystem(type)) << type;
  for (const char* type : {"ext4", "tmpfs", "overlay", "fuse", "fuse.gvfsd-fuse", "proc", ""})
    EXPECT_FALSE(isNetworkFileSystem(type)) << type;
}

TEST(MountTable, ReadsThisProcessTable) {
  const std::vector<MountEntry> mounts = currentMounts();
  const MountEntry* proc = mountHolding(mounts, "/proc/self/status");
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(proc->fsType, "proc");
  EXPECT_EQ(proc->mountPoint, "/proc");
}

}  // namespace
