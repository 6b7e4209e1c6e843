// The network-aware queries: slow failures on network paths are remembered per
// operation for 30 seconds, told with injected clocks rather than waiting.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "filesystem/unreachable_paths.h"
#include "pal/file_system_volumes.h"
#include "support/temp_dir.h"

namespace {

namespace FS = Halvex::Tessaran::PAL::FileSystem;
namespace detail = Halvex::Tessaran::PAL::detail;

void* const kInvalidHandle = reinterpret_cast<void*>(~std::uintptr_t{0});

std::wstring wide(const std::string& s) {
  return std::wstring(s.begin(), s.end());
}

// Clocks that move only when a call "takes" time, and a count of the system
// calls each operation started.
class NetworkAwareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    detail::setNetworkAwareSeams({
        [this] { return seconds; },
        [this] { return ms; },
        [this](std::string_view op) {
          ++calls[std::string(op)];
          seconds += callSeconds;
          ms += callMs;
          return callErrno;
        },
    });
  }
  void TearDown() override { detail::setNetworkAwareSeams({}); }

  // Makes every following call fail with `err` after `s` seconds.
  void slowFailure(std::int64_t s, int err = EHOSTDOWN) {
    callSeconds = s;
    callMs = static_cast<std::uint64_t>(s) * 1000;
    callErrno = err;
  }
  void fastCalls() { slowFailure(0, 0); }

  std::int64_t seconds = 1'700'000'000;
  std::uint64_t ms = 5'000'000;
  std::int64_t callSeconds = 0;
  std::uint64_t callMs = 0;
  int callErrno = 0;
  std::map<std::string, int> calls;
};

TEST_F(NetworkAwareTest, AttributesMarkAfterMoreThanThreeSecondsAndExpireAfterThirty) {
  const struct {
    std::int64_t callSeconds;
    bool marked;
  } cases[] = {{0, false}, {3, false}, {4, true}, {60, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.callSeconds);
    SetUp();  // an empty table
    slowFailure(c.callSeconds);
    EXPECT_FALSE(FS::networkAwareGetAttributes(L"//server/share/a.txt", nullptr).exists);
    fastCalls();
    calls.clear();
    EXPECT_FALSE(FS::networkAwareGetAttributes(L"//server/share/a.txt", nullptr).exists);
    EXPECT_EQ(calls["GetFileAttributes"], c.marked ? 0 : 1);
  }

  // Marked at the end of the slow call: still marked 30 seconds later, asked
  // again one second after that.
  slowFailure(4);
  FS::networkAwareGetAttributes(L"//server/share/b.txt", nullptr);
  fastCalls();
  calls.clear();
  seconds += 30;
  FS::networkAwareGetAttributes(L"//server/share/b.txt", nullptr);
  EXPECT_EQ(calls["GetFileAttributes"], 0);
  seconds += 1;
  FS::networkAwareGetAttributes(L"//server/share/b.txt", nullptr);
  EXPECT_EQ(calls["GetFileAttributes"], 1);
  // Dropped: a fast failure does not bring it back.
  FS::networkAwareGetAttributes(L"//server/share/b.txt", nullptr);
  EXPECT_EQ(calls["GetFileAttributes"], 2);
}

TEST_F(NetworkAwareTest, OnlyNetworkPathsAreMarkedAndKeysKeepTheirCase) {
  kvpal::test::TempDir dir;
  const std::wstring local = wide(dir.path() + "/missing");
  slowFailure(10);
  FS::networkAwareGetAttributes(local.c_str(), nullptr);
  FS::networkAwareGetAttributes(L"//server/share", nullptr);
  FS::networkAwareGetAttributes(L"//", nullptr);
  fastCalls();
  calls.clear();
  FS::networkAwareGetAttributes(local.c_str(), nullptr);
  FS::networkAwareGetAttributes(L"//SERVER/share", nullptr);
  FS::networkAwareGetAttributes(L"//", nullptr);
  EXPECT_EQ(calls["GetFileAttributes"], 3);
  FS::networkAwareGetAttributes(L"//server/share", nullptr);
  EXPECT_EQ(calls["GetFileAttributes"], 3);
  // A base folder bypasses the table.
  FS::networkAwareGetAttributes(L"share", L"//server");
  EXPECT_EQ(calls["GetFileAttributes"], 4);
}

TEST_F(NetworkAwareTest, MarkingIsPerOperation) {
  kvpal::test::TempDir dir;
  std::ofstream(dir.path() + "/f.txt") << "x";
  // "//tmp/..." is a network path by its form and still names a real file.
  const std::wstring path = wide("/" + dir.path() + "/f.txt");
  slowFailure(5);
  EXPECT_FALSE(FS::networkAwareGetAttributes(path.c_str(), nullptr).exists);
  fastCalls();
  EXPECT_FALSE(FS::networkAwareGetAttributes(path.c_str(), nullptr).exists);

  unsigned low = 0, high = 0;
  void* handle = FS::networkAwareLastWriteTime(path.c_str(), low, high);
  EXPECT_EQ(calls["FindFirstFile"], 1);
  ASSERT_NE(handle, kInvalidHandle);
  EXPECT_TRUE(FS::findClose(handle));
  EXPECT_EQ(FS::networkAwareChangeDir(path.c_str(), true), L"");
  EXPECT_EQ(FS::networkAwareGetFileSystem(path.c_str(), static_cast<FS::FS_TYPE>(7)), 7);

  // A slow success is not a failure.
  slowFailure(5, 0);
  EXPECT_TRUE(FS::networkAwareGetAttributes(wide("/" + dir.path()).c_str(), nullptr).exists);
  EXPECT_TRUE(FS::networkAwareGetAttributes(wide("/" + dir.path()).c_str(), nullptr).exists);
}

TEST_F(NetworkAwareTest, FileSystemKindAnswersFromTheTableOnly) {
  detail::mark(L"GetFileSystem", L"//server/share");
  detail::mark(L"GetFileSystem", L"/local/folder");
  const auto fallback = static_cast<FS::FS_TYPE>(3);
  EXPECT_EQ(FS::networkAwareGetFileSystem(L"//server/share", fallback), FS::FS_TYPE_UNKNOWN);
  EXPECT_EQ(FS::networkAwareGetFileSystem(L"//server/other", fallback), fallback);
  EXPECT_EQ(FS::networkAwareGetFileSystem(L"/local/folder", fallback), fallback);
  EXPECT_EQ(FS::networkAwareGetFileSystem(nullptr, fallback), fallback);
}

TEST_F(NetworkAwareTest, ChangeDirectory) {
  kvpal::test::TempDir dir;
  const std::filesystem::path start = std::filesystem::current_path();
  const std::wstring startWide = start.wstring();

  EXPECT_EQ(FS::networkAwareChangeDir(wide(dir.path()).c_str(), true), L"");
  EXPECT_EQ(std::filesystem::current_path(), start);

  EXPECT_EQ(FS::networkAwareChangeDir(wide(dir.path()).c_str(), false), L"");
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(dir.path()));
  std::filesystem::current_path(start);

  // A failed change answers with the current folder.
  EXPECT_EQ(FS::networkAwareChangeDir(wide(dir.path() + "/missing").c_str(), false), startWide);
  EXPECT_EQ(FS::networkAwareChangeDir(nullptr, false), startWide);

  // By the millisecond count: 3000 is not slow, 3001 is.
  for (std::uint64_t callMsValue : {3000u, 3001u}) {
    SCOPED_TRACE(callMsValue);
    SetUp();  // an empty table
    callMs = callMsValue;
    callErrno = EHOSTDOWN;
    EXPECT_EQ(FS::networkAwareChangeDir(L"//server/share", false), startWide);
    fastCalls();
    calls.clear();
    EXPECT_EQ(FS::networkAwareChangeDir(L"//server/share", true), callMsValue > 3000 ? startWide : L"");
    EXPECT_EQ(calls["_tchdir"], 0);
  }
  EXPECT_EQ(std::filesystem::current_path(), start);
}

TEST_F(NetworkAwareTest, LastWriteTimeOfTheFirstMatch) {
  kvpal::test::TempDir dir;
  const std::string file = dir.path() + "/file.txt";
  std::ofstream(file) << "x";
  // 2023-11-14 22:13:20.1234567 UTC.
  const struct timespec times[2] = {{1'700'000'000, 123'456'789}, {1'700'000'000, 123'456'789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  const std::uint64_t expected = 1'700'000'000ULL * 10'000'000 + 1'234'567 + 116'444'736'000'000'000ULL;

  const struct {
    const char* name;
    bool found;
    bool ofFile;  // "*" may meet "." or ".." first
  } cases[] = {
      {"/file.txt", true, true}, {"/*.txt", true, true},       {"/f?le.*", true, true},
      {"/*", true, false},       {"/F*.txt", false, false},    {"/*.doc", false, false},
      {"/", false, false},       {"/missing/*", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unsigned low = 1, high = 2;
    void* handle = FS::networkAwareLastWriteTime(wide(dir.path() + c.name).c_str(), low, high);
    EXPECT_EQ(handle != kInvalidHandle, c.found);
    if (c.found) {
      EXPECT_TRUE(FS::findClose(handle));
    } else {
      EXPECT_EQ(std::make_pair(low, high), std::make_pair(1u, 2u));
    }
    if (c.ofFile) {
      EXPECT_EQ((std::uint64_t{high} << 32) | low, expected);
    }
  }
  EXPECT_FALSE(FS::findClose(kInvalidHandle));
  EXPECT_FALSE(FS::findClose(nullptr));

  // A marked path leaves the outputs alone without asking.
  slowFailure(4);
  unsigned low = 1, high = 2;
  EXPECT_EQ(FS::networkAwareLastWriteTime(L"//server/share/*.txt", low, high), kInvalidHandle);
  fastCalls();
  calls.clear();
  EXPECT_EQ(FS::networkAwareLastWriteTime(L"//server/share/*.txt", low, high), kInvalidHandle);
  EXPECT_EQ(calls["FindFirstFile"], 0);
  EXPECT_EQ(low, 1u);
  EXPECT_EQ(high, 2u);
}

TEST_F(NetworkAwareTest, AttributesAgainstABaseFolder) {
  kvpal::test::TempDir dir;
  const std::string base = dir.path();
  std::filesystem::create_directories(base + "/sub/.hidden");
  std::ofstream(base + "/sub/file.txt") << "x";
  kvpal::test::TempDir other;
  std::ofstream(other.path() + "/f") << "x";

  const struct {
    const char* path;  // null: no path
    std::string baseDir;
    bool exists, isDirectory, isHidden;
  } cases[] = {
      {"sub/file.txt", base, true, false, false},
      {"sub/./.hidden/", base, true, true, true},
      {"", base, true, true, false},
      {nullptr, base, true, true, false},
      {"missing", base, false, false, false},
      {"f", other.path(), true, false, false},
      {"sub/file.txt", other.path(), false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path ? c.path : "(null)") + " in " + c.baseDir);
    const std::wstring path = c.path ? wide(c.path) : L"";
    const FS::FileAttributes a =
        FS::networkAwareGetAttributes(c.path ? path.c_str() : nullptr, wide(c.baseDir).c_str());
    EXPECT_EQ(a.exists, c.exists);
    EXPECT_EQ(a.isDirectory, c.isDirectory);
    EXPECT_EQ(a.isHidden, c.isHidden);
  }
  // An absolute path ignores the base.
  const FS::FileAttributes a =
      FS::networkAwareGetAttributes(wide(other.path() + "/f").c_str(), wide(base).c_str());
  EXPECT_TRUE(a.exists);
  // Without a base, relative to the current folder.
  const std::filesystem::path start = std::filesystem::current_path();
  std::filesystem::current_path(base);
  EXPECT_TRUE(FS::networkAwareGetAttributes(L"sub/.hidden", nullptr).isHidden);
  EXPECT_FALSE(FS::networkAwareGetAttributes(L"..", nullptr).isHidden);
  std::filesystem::current_path(start);
}

TEST_F(NetworkAwareTest, DriveTypeMarking) {
  slowFailure(0, 0);
  callMs = 3001;
  std::unique_ptr<FS::VolumeDescriptor> first(FS::CreateVolumeDescriptor(L"//server/share"));
  fastCalls();
  calls.clear();
  std::unique_ptr<FS::VolumeDescriptor> second(FS::CreateVolumeDescriptor(L"//server/share"));
  EXPECT_EQ(calls["GetDriveType"], 0);
  for (const auto* d : {first.get(), second.get()}) {
    EXPECT_TRUE(d->IsRemote());
    EXPECT_FALSE(d->IsRemovable());
    EXPECT_FALSE(d->IsReadOnly());
    EXPECT_EQ(d->getMaxComponentSize(), 255u);
    EXPECT_TRUE(d->IsCasePreserving());
  }
}

}  // namespace
