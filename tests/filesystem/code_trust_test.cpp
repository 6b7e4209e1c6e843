// Trusted folders and the expansion of folders reached through symbolic links
// or bind mounts, on real folders.
#include "pal/code_trust.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "filesystem/code_trust_internal.h"
#include "support/temp_dir.h"

namespace {

using namespace Halvex::Tessaran::PAL;
namespace fs = std::filesystem;

// Test names are ASCII.
std::wstring wide(const std::string& s) {
  return std::wstring(s.begin(), s.end());
}

TEST(CodeTrust, LiesUnderComparesWholeElements) {
  struct Case {
    const wchar_t* path;
    const wchar_t* folder;
    bool under;
  } cases[] = {
      {L"/opt", L"/opt", true},
      {L"/opt/App", L"/opt", true},
      {L"/opt/App", L"/opt/", true},
      {L"/opt/", L"/opt", true},
      {L"/home/u/options", L"/opt", false},  // a substring, not a parent
      {L"/optx/App", L"/opt", false},
      {L"/OPT/App", L"/opt", false},  // names are case-sensitive
      {L"/op", L"/opt", false},
      {L"/usr/bin", L"/", true},
      {L"relative/opt", L"/opt", false},
      {L"/opt", L"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.path, c.path + std::wcslen(c.path)) << " under "
                                    << std::string(c.folder, c.folder + std::wcslen(c.folder)));
    EXPECT_EQ(detail::liesUnder(c.path, c.folder), c.under);
  }
}

// Written the way the kernel writes /proc/self/mountinfo: bind mounts of
// folders of one file system (same major:minor) elsewhere, a subvolume with no
// other mount, a source hidden by a later mount, a file bound onto itself.
constexpr const char* kMountInfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "40 22 8:1 /home/u/work /srv/work rw - ext4 /dev/sda1 rw\n"
    "41 22 8:2 / /data rw - ext4 /dev/sdb1 rw\n"
    "42 22 8:2 /proj /mnt/proj rw - ext4 /dev/sdb1 rw\n"
    "43 22 8:2 /proj/sub /mnt/sub rw - ext4 /dev/sdb1 rw\n"
    "44 22 8:3 /@home /mnt/btrfs rw - btrfs /dev/sdc1 rw\n"
    "45 22 8:4 / /hidden/base rw - ext4 /dev/sdd1 rw\n"
    "46 22 0:50 / /hidden/base rw - tmpfs tmpfs rw\n"
    "47 22 8:4 /dir /srv/dir rw - ext4 /dev/sdd1 rw\n"
    "48 22 8:1 /etc/hostname /etc/hostname rw - ext4 /dev/sda1 rw\n";

TEST(CodeTrust, BindMountsNameTheirSourceFolder) {
  const std::vector<detail::MountEntry> mounts = detail::parseMountInfo(kMountInfo);
  ASSERT_EQ(mounts.size(), 10u);
  EXPECT_EQ(mounts[1].device, "8:1");
  EXPECT_EQ(mounts[7].device, "0:50");

  struct Case {
    const char* path;
    const char* source;  // null: not under a bind mount of a folder seen elsewhere
  } cases[] = {
      {"/srv/work/a/b", "/home/u/work/a/b"},
      {"/srv/work", "/home/u/work"},
      {"/srv/workshop", nullptr},  // a mount point matches whole elements only
      {"/mnt/proj/x", "/data/proj/x"},
      {"/mnt/sub/f", "/data/proj/sub/f"},  // the whole file system's mount wins over another bind
      {"/mnt/btrfs/x", nullptr},           // a subvolume: its file system is not mounted elsewhere
      {"/srv/dir/x", nullptr},             // the source folder is hidden by a later mount
      {"/etc/hostname", nullptr},          // bound onto its own place
      {"/data/x", nullptr},
      {"/usr/bin", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::optional<std::string> source = detail::pathOutsideBindMount(mounts, c.path);
    if (c.source) {
      ASSERT_TRUE(source.has_value());
      EXPECT_EQ(*source, c.source);
    } else {
      EXPECT_FALSE(source.has_value()) << *source;
    }
  }
  EXPECT_FALSE(detail::pathOutsideBindMount({}, "/srv/work").has_value());
}

// A folder tree with links to folders, to files, to the root, relative and
// dangling ones, and a folder standing for a bind mount.
class LinkedFolders : public testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::canonical(dir_.path()).string();
    fs::create_directories(base_ + "/real/sub");
    fs::create_directories(base_ + "/bound");
    fs::create_directories(base_ + "/pf/App");
    fs::create_directories(base_ + "/pfx/App");
    fs::create_directories(base_ + "/Tools/App");
    fs::create_directories(base_ + "/work/App");
    { std::ofstream(base_ + "/real/file.txt") << "x"; }
    fs::create_directory_symlink(base_ + "/real", base_ + "/link");
    fs::create_directory_symlink(base_ + "/link", base_ + "/link2");
    fs::create_directory_symlink("real", base_ + "/rel");
    fs::create_symlink("file.txt", base_ + "/real/filelink");
    fs::create_directory_symlink("/", base_ + "/rootlink");
    fs::create_directory_symlink(base_ + "/missing", base_ + "/dangling");
    fs::create_directory_symlink(base_ + "/bound", base_ + "/tobound");
    fs::create_directory_symlink(base_ + "/work", base_ + "/s");
    fs::create_directory_symlink(base_ + "/pf", base_ + "/s2");
    fs::create_directory_symlink(base_ + "/work", base_ + "/pf/link");
  }

  struct Expansion {
    std::string path;
    std::optional<std::string> expanded;  // nothing: false and the path kept
  };
  static void expectExpansions(const std::vector<Expansion>& cases,
                               const std::vector<detail::MountEntry>& mounts) {
    for (const Expansion& c : cases) {
      SCOPED_TRACE(c.path);
      std::wstring path = wide(c.path);
      EXPECT_EQ(detail::expandLinkedPath(path, mounts), c.expanded.has_value());
      EXPECT_EQ(path, wide(c.expanded.value_or(c.path)));
    }
  }

  kvpal::test::TempDir dir_{"kvpal-trust"};
  std::string base_;
};

TEST_F(LinkedFolders, ExpandResolvesLinkedLeadingFolders) {
  // No bind mounts here: only the links count.
  expectExpansions(
      {
          {base_ + "/link/sub/y.lsp", base_ + "/real/sub/y.lsp"},  // the file need not exist
          {base_ + "/link", base_ + "/real"},
          {base_ + "/link/", base_ + "/real/"},
          {base_ + "/link2/sub", base_ + "/real/sub"},  // a link to a link
          {base_ + "/rel/file.txt", base_ + "/real/file.txt"},
          {base_ + "/real/../link/x", base_ + "/real/x"},
          {base_ + "/rootlink/x", "/x"},
          {base_ + "/real/sub/x", std::nullopt},      // no link on the way
          {base_ + "/real/filelink", std::nullopt},   // a link to a file is not a folder
          {base_ + "/dangling/x", std::nullopt},      // the link leads nowhere
          {base_ + "/missing/link/x", std::nullopt},  // nothing exists past "missing"
          {"relative/link", std::nullopt},
          {":x", std::nullopt},
          {"/", std::nullopt},
          {"", std::nullopt},
      },
      {});
}

TEST_F(LinkedFolders, ExpandFollowsBindMountsAfterLinks) {
  const std::string table =
      "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "40 22 8:1 /srv/data " +
      base_ + "/bound rw - ext4 /dev/sda1 rw\n";
  expectExpansions(
      {
          {base_ + "/bound/sub/x", "/srv/data/sub/x"},
          {base_ + "/bound", "/srv/data"},
          {base_ + "/tobound/x", "/srv/data/x"},
          {base_ + "/real/x", std::nullopt},
      },
      detail::parseMountInfo(table));
}

TEST_F(LinkedFolders, ExpandThroughTheSystemMountTable) {
  std::wstring path = wide(base_ + "/link/sub/y.lsp");
  ASSERT_TRUE(CodeTrust::expandSubstitutedDrive(path));
  // The temporary folder itself may sit under a bind mount on this machine.
  EXPECT_TRUE(path.ends_with(L"/real/sub/y.lsp")) << std::string(path.begin(), path.end());

  path = L"relative/x";
  EXPECT_FALSE(CodeTrust::expandSubstitutedDrive(path));
  EXPECT_EQ(path, L"relative/x");
}

TEST_F(LinkedFolders, TrustedPathsKeepCaseAndSkipFoldersUnderProgramFiles) {
  const std::string pf = base_ + "/pf";
  const std::string x86 = base_ + "/x86";
  struct Case {
    std::string moduleFolder;
    std::string programFilesX86;
    std::vector<std::string> expected;
  } cases[] = {
      {pf + "/App", x86, {pf, x86}},
      {pf, x86, {pf, x86}},
      {base_ + "/Tools/App", x86, {pf, base_ + "/Tools/App", x86}},
      {base_ + "/pfx/App", x86, {pf, base_ + "/pfx/App", x86}},  // beside program files, not under it
      {base_ + "/s/App", x86, {pf, base_ + "/s/App", base_ + "/work/App", x86}},
      {base_ + "/s2/App", x86, {pf, base_ + "/s2/App", x86}},   // links into program files
      {pf + "/link/App", x86, {pf, base_ + "/work/App", x86}},  // links out of program files
      {"", x86, {pf, x86}},                                     // executable unknown
      {base_ + "/Tools/App", "", {pf, base_ + "/Tools/App"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.moduleFolder);
    std::vector<std::wstring> expected;
    for (const std::string& e : c.expected) expected.push_back(wide(e));
    EXPECT_EQ(detail::trustedPathsFor(wide(pf), wide(c.moduleFolder), wide(c.programFilesX86)), expected);
  }
}

TEST(CodeTrust, DefaultTrustedPathsOfThisProcess) {
  const std::vector<std::wstring> paths = CodeTrust::getDefaultTrustedPaths();
  ASSERT_GE(paths.size(), 3u);
  EXPECT_EQ(paths.front(), L"/opt");
  EXPECT_EQ(paths.back(), L"/usr");
  // The test runs from the build tree, which is not under /opt.
  EXPECT_EQ(paths[1], wide(fs::read_symlink("/proc/self/exe").parent_path().string()));
  EXPECT_EQ(CodeTrust::getDefaultTrustedPaths(), paths);
}

}  // namespace
