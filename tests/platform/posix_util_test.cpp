// errno mapping and the last-error cell.
#include <gtest/gtest.h>
#include <fcntl.h>

#include <thread>

#include "platform/posix_util.h"

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

TEST(LastError, CapturesARealFailureAndIsPerThread) {
  ASSERT_EQ(open("/nonexistent-kvpal-dir/file", O_RDONLY), -1);
  EXPECT_EQ(setLastErrorFromErrno(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(lastError(), ERROR_FILE_NOT_FOUND);

  unsigned seenOnOtherThread = 1;
  std::thread([&] { seenOnOtherThread = lastError(); }).join();
  EXPECT_EQ(seenOnOtherThread, ERROR_SUCCESS);
  EXPECT_EQ(lastError(), ERROR_FILE_NOT_FOUND);
}
