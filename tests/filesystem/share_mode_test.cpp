// Share modes between threads and between processes: the whole matrix of
// access against sharing, races, crashed holders, appends from many
// processes, and what programs outside the library still may do.
#include "filesystem/share_mode.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <barrier>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "pal/file_io.h"
#include "support/temp_dir.h"

namespace {

namespace FileIO = Halvex::Tessaran::PAL::FileIO;
namespace detail = Halvex::Tessaran::PAL::detail;
using FileIO::File;

constexpr unsigned kSharingViolation = 32;

// Windows' rule, stated on rights: two opens with data access conflict when
// either takes a right the other does not share.
bool conflicts(unsigned access1, unsigned share1, unsigned access2, unsigned share2) {
  if (!access1 || !access2) return false;
  return (access1 & ~share2) || (access2 & ~share1);
}

// The rights each File open mode and share mode stands for.
constexpr unsigned kModeRights[] = {0, 1, 3};  // OpenNone, OpenRead, OpenReadWrite
constexpr unsigned kShareRights[] = {0, 1, 3, 7};

std::wstring wide(const std::string& s) {
  return std::wstring(s.begin(), s.end());
}

// Opens as the table asks and keeps what it opened until the next call.
using Opener = std::function<unsigned(unsigned first, unsigned second)>;

struct FileOpener {
  std::wstring name;
  File held;
  unsigned operator()(unsigned mode, unsigned share) {
    held = File();
    held = File::openFile(name.c_str(), FileIO::Utf16Name, static_cast<FileIO::FileOpenMode>(mode),
                          static_cast<FileIO::FileShareMode>(share), FileIO::OpenExisting);
    return held.openStatus() == Pyra::Ok ? 0 : FileIO::lastError();
  }
};

// The share-mode module on its own, with every combination of rights.
struct RightsOpener {
  std::string name;
  int fd = -1;
  unsigned operator()(unsigned access, unsigned share) {
    drop();
    fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
    return fd < 0 ? 1 : detail::takeShareMode(fd, access, share);
  }
  void drop() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  ~RightsOpener() { drop(); }
};

// A forked child that opens on request and holds the result.
class HolderProcess {
 public:
  explicit HolderProcess(Opener open) {
    if (::pipe(requests_) != 0 || ::pipe(replies_) != 0) ADD_FAILURE() << "pipe";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(requests_[1]);  // so that the parent's close ends the loop
      ::close(replies_[0]);
      unsigned request[2];
      while (::read(requests_[0], request, sizeof request) == sizeof request) {
        const unsigned result = open(request[0], request[1]);
        if (::write(replies_[1], &result, sizeof result) != sizeof result) break;
      }
      ::_exit(0);
    }
    ::close(requests_[0]);
    ::close(replies_[1]);
  }
  ~HolderProcess() {
    ::close(requests_[1]);
    ::waitpid(pid_, nullptr, 0);
    ::close(replies_[0]);
  }
  unsigned open(unsigned first, unsigned second) {
    const unsigned request[2] = {first, second};
    unsigned result = ~0u;
    if (::write(requests_[1], request, sizeof request) != sizeof request ||
        ::read(replies_[0], &result, sizeof result) != sizeof result)
      ADD_FAILURE() << "holder process gone";
    return result;
  }

 private:
  int requests_[2] = {-1, -1}, replies_[2] = {-1, -1};
  pid_t pid_ = -1;
};

class ShareModeTest : public ::testing::Test {
 protected:
  void SetUp() override { std::ofstream(name) << "data"; }
  kvpal::test::TempDir dir{"kvpal-share"};
  std::string name = dir.path() + "/shared.bin";
};

// Every File open mode and share mode held, against every one asked for.
void runFileMatrix(const std::function<unsigned(unsigned, unsigned)>& holdFirst, const std::wstring& name) {
  FileOpener second{name, File()};
  for (unsigned m1 = 0; m1 < 3; ++m1)
    for (unsigned s1 = 0; s1 < 4; ++s1) {
      ASSERT_EQ(holdFirst(m1, s1), 0u) << "first open " << m1 << "/" << s1;
      for (unsigned m2 = 0; m2 < 3; ++m2)
        for (unsigned s2 = 0; s2 < 4; ++s2) {
          const bool refused =
              conflicts(kModeRights[m1], kShareRights[s1], kModeRights[m2], kShareRights[s2]);
          const unsigned result = second(m2, s2);
          EXPECT_EQ(result, refused ? kSharingViolation : 0u)
              << "held mode " << m1 << " share " << s1 << ", asked mode " << m2 << " share " << s2;
          if (refused) {
            EXPECT_EQ(second.held.openStatus(), Pyra::SharingViolation);
          }
          second.held = File();
        }
    }
}

TEST_F(ShareModeTest, FileMatrixBetweenThreads) {
  FileOpener first{wide(name), File()};
  runFileMatrix(
      [&](unsigned m, unsigned s) {
        unsigned result = ~0u;
        std::thread([&] { result = first(m, s); }).join();
        return result;
      },
      wide(name));
}

TEST_F(ShareModeTest, FileMatrixBetweenProcesses) {
  FileOpener opener{wide(name), File()};
  HolderProcess holder(std::ref(opener));
  runFileMatrix([&](unsigned m, unsigned s) { return holder.open(m, s); }, wide(name));
}

// Read, write and delete access against every sharing, delete included,
// which no File open mode takes but the library's delete and rename calls
// will.
TEST_F(ShareModeTest, RightsMatrixBetweenProcesses) {
  RightsOpener inChild{name};
  HolderProcess holder(std::ref(inChild));
  RightsOpener here{name};
  for (unsigned a1 = 0; a1 < 8; ++a1)
    for (unsigned s1 = 0; s1 < 8; ++s1) {
      ASSERT_EQ(holder.open(a1, s1), 0u);
      for (unsigned a2 = 0; a2 < 8; ++a2)
        for (unsigned s2 = 0; s2 < 8; ++s2)
          ASSERT_EQ(here(a2, s2), conflicts(a1, s1, a2, s2) ? kSharingViolation : 0u)
              << "held access " << a1 << " share " << s1 << ", asked access " << a2 << " share " << s2;
      here.drop();
    }
}

TEST_F(ShareModeTest, RecordsAddUpOverSeveralHolders) {
  RightsOpener reader{name}, writer{name}, third{name};
  ASSERT_EQ(reader(detail::kShareRightRead, 7), 0u);
  ASSERT_EQ(writer(detail::kShareRightWrite, detail::kShareRightRead | detail::kShareRightWrite), 0u);
  // Each holder alone would allow it; the writer refuses delete sharing.
  EXPECT_EQ(third(detail::kShareRightDelete, 7), kSharingViolation);
  // Sharing only read conflicts with the writer's access, not the reader's.
  EXPECT_EQ(third(detail::kShareRightRead, detail::kShareRightRead), kSharingViolation);
  writer.drop();
  EXPECT_EQ(third(detail::kShareRightRead, detail::kShareRightRead), 0u);
}

TEST_F(ShareModeTest, RacingConflictingOpensLetExactlyOneIn) {
  const std::wstring file = wide(name);
  constexpr int kRounds = 300;
  std::barrier sync(2);
  bool opened[2][kRounds] = {};
  auto racer = [&](int who) {
    for (int round = 0; round < kRounds; ++round) {
      sync.arrive_and_wait();
      File f = File::openFile(file.c_str(), FileIO::Utf16Name, FileIO::OpenRead, FileIO::ShareNone,
                              FileIO::OpenExisting);
      opened[who][round] = f.openStatus() == Pyra::Ok;
      sync.arrive_and_wait();  // both decided before either lets go
    }
  };
  std::thread other(racer, 1);
  racer(0);
  other.join();
  for (int round = 0; round < kRounds; ++round)
    EXPECT_NE(opened[0][round], opened[1][round]) << "round " << round;
}

TEST_F(ShareModeTest, AKilledHolderLeavesNothingBehind) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    File f = File::openFile(wide(name).c_str(), FileIO::Utf16Name, FileIO::OpenReadWrite, FileIO::ShareNone,
                            FileIO::OpenExisting);
    const char ok = f.openStatus() == Pyra::Ok ? 'y' : 'n';
    if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  const std::wstring file = wide(name);
  auto openHere = [&] {
    return File::openFile(file.c_str(), FileIO::Utf16Name, FileIO::OpenRead, FileIO::ShareReadWriteDelete,
                          FileIO::OpenExisting)
        .openStatus();
  };
  EXPECT_EQ(openHere(), Pyra::SharingViolation);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(openHere(), Pyra::Ok);
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST_F(ShareModeTest, ProgramsOutsideTheLibraryKeepTheirByteLocks) {
  File f = File::openFile(wide(name).c_str(), FileIO::Utf16Name, FileIO::OpenReadWrite, FileIO::ShareNone,
                          FileIO::OpenExisting);
  ASSERT_EQ(f.openStatus(), Pyra::Ok);
  // Another program opens and locks the data for writing, far into the
  // file: the share record occupies none of those bytes.
  const int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  struct flock l {};
  l.l_type = F_WRLCK;
  l.l_whence = SEEK_SET;
  l.l_start = 0;
  l.l_len = 1LL << 50;
  EXPECT_EQ(::fcntl(fd, F_OFD_SETLK, &l), 0);
  EXPECT_EQ(::write(fd, "DATA", 4), 4);
  ::close(fd);
}

TEST_F(ShareModeTest, AppendingProcessesLoseNoBytes) {
  constexpr int kWriters = 4, kRecords = 400;
  const std::wstring file = wide(name);
  std::ofstream(name, std::ios::trunc).close();
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(start[1]);
      FILE* out = FileIO::openFILEWithShareFlag(file.c_str(), L"ab", _SH_DENYNO);
      if (!out) ::_exit(2);
      char go;
      if (::read(start[0], &go, 1) != 0) ::_exit(3);  // all start when the pipe closes
      for (int r = 0; r < kRecords; ++r) {
        std::fprintf(out, "w%d r%06d\n", w, r);  // 11 bytes, one write each
        std::fflush(out);
      }
      ::_exit(std::fclose(out) == 0 ? 0 : 4);
    }
    children.push_back(pid);
  }
  ::close(start[0]);
  ::close(start[1]);
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::ifstream in(name);
  std::map<std::string, int> seen;
  std::size_t bytes = 0;
  for (std::string line; std::getline(in, line);) {
    ++seen[line];
    bytes += line.size() + 1;
  }
  EXPECT_EQ(bytes, std::size_t{kWriters} * kRecords * 11);
  for (int w = 0; w < kWriters; ++w)
    for (int r = 0; r < kRecords; ++r) {
      char record[16];
      std::snprintf(record, sizeof record, "w%d r%06d", w, r);
      EXPECT_EQ(seen[record], 1) << record;
    }
}

}  // namespace
