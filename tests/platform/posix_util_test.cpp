// errno mapping, the last-error cell and reading regular files.
#include "platform/posix_util.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "support/temp_dir.h"

using namespace Halvex::Tessaran::PAL::detail;

TEST(WinErrorFromErrno, MapsTheErrorsCallersTestFor) {
  struct Case {
    int err;
    unsigned expected;
  } cases[] = {
      {0, ERROR_SUCCESS},
      {ENOENT, ERROR_FILE_NOT_FOUND},
      {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {EACCES, ERROR_ACCESS_DENIED},
      {EPERM, ERROR_ACCESS_DENIED},
      {EROFS, ERROR_WRITE_PROTECT},
      {ENOSPC, ERROR_DISK_FULL},
      {EEXIST, ERROR_FILE_EXISTS},
      {EINVAL, ERROR_INVALID_PARAMETER},
      {ETXTBSY, ERROR_SHARING_VIOLATION},
      {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
      {EHWPOISON, ERROR_GEN_FAILURE},  // no counterpart: generic fallback
  };
  for (const auto& c : cases) EXPECT_EQ(winErrorFromErrno(c.err), c.expected) << "errno " << c.err;
}

// Every code an errno maps to has the system's message; codes the library
// never produces have none.
TEST(WinErrorText, EveryMappedCodeHasItsMessage) {
  for (int err = 0; err < 256; ++err) {
    const char* text = winErrorText(winErrorFromErrno(err));
    ASSERT_NE(text, nullptr) << "errno " << err;
    EXPECT_NE(*text, '\0') << "errno " << err;
  }
  EXPECT_STREQ(winErrorText(ERROR_FILENAME_EXCED_RANGE), "The filename or extension is too long.");
  EXPECT_STREQ(winErrorText(ERROR_BADDB), "The configuration registry database is corrupt.");
  EXPECT_EQ(winErrorText(0xDEAD), nullptr);
}

TEST(LastError, CapturesARealFailureAndIsPerThread) {
  ASSERT_EQ(open("/nonexistent-kvpal-dir/file", O_RDONLY), -1);
  EXPECT_EQ(setLastErrorFromErrno(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(lastError(), ERROR_FILE_NOT_FOUND);

  unsigned seenOnOtherThread = 1;
  std::thread([&] { seenOnOtherThread = lastError(); }).join();
  EXPECT_EQ(seenOnOtherThread, ERROR_SUCCESS);
  EXPECT_EQ(lastError(), ERROR_FILE_NOT_FOUND);
}

// Readers of data files take regular files only, and a FIFO without a writer
// is refused instead of waited on.
TEST(RegularFiles, OnlyRegularFilesOpenAndNothingWaits) {
  kvpal::test::TempDir dir("kvpal-posix");
  const std::string file = dir.path() + "/file", pipe = dir.path() + "/pipe";
  { std::ofstream(file) << "content"; }
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  struct Case {
    std::string path;
    int err;  // 0: opens
  } cases[] = {
      {file, 0},
      {dir.path(), EISDIR},
      {pipe, EINVAL},
      {"/dev/null", EINVAL},
      {dir.path() + "/missing", ENOENT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    errno = 0;
    std::string bytes = "old";
    EXPECT_EQ(readRegularFile(c.path.c_str(), bytes), c.err == 0);
    EXPECT_EQ(errno, c.err);
    EXPECT_EQ(bytes, c.err == 0 ? "content" : "old");
  }
}
