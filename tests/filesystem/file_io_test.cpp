// File handle I/O on real files in a temporary folder: dispositions, the
// handle's life, access checks, times, and the runtime's streams.
#include "pal/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

namespace FileIO = Halvex::Tessaran::PAL::FileIO;
using FileIO::File;

constexpr unsigned kFileNotFound = 2, kAccessDenied = 5, kInvalidHandle = 6, kSharingViolation = 32,
                   kNotSupported = 50, kFileExists = 80, kNegativeSeek = 131, kAlreadyExists = 183;

std::wstring wide(const std::string& s) {
  return std::wstring(s.begin(), s.end());
}

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class FileIoTest : public ::testing::Test {
 protected:
  std::string path(const char* leaf) const { return dir.path() + "/" + leaf; }
  File open(const std::string& p, FileIO::FileOpenMode mode,
            FileIO::FileShareMode share = FileIO::ShareReadWrite,
            FileIO::FileCreationMode creation = FileIO::OpenExisting) {
    const std::wstring name = wide(p);
    return File::openFile(name.c_str(), FileIO::Utf16Name, mode, share, creation);
  }
  kvpal::test::TempDir dir{"kvpal-fileio"};
};

struct DispositionCase {
  FileIO::FileOpenMode mode;
  int creation;
  bool exists;  // beforehand, holding "abc"
  Pyra::ErrorStatus status;
  unsigned error;
  bool existsAfter;
  long long sizeAfter;
};

TEST_F(FileIoTest, DispositionsCreateTruncateAndReportAsWindowsDoes) {
  const DispositionCase cases[] = {
      // The read mode never creates, whatever the creation mode says.
      {FileIO::OpenRead, FileIO::CreateAlways, false, Pyra::FileNotFound, kFileNotFound, false, 0},
      {FileIO::OpenRead, FileIO::CreateAlways, true, Pyra::Ok, 0, true, 3},
      {FileIO::OpenNone, FileIO::CreateNew, false, Pyra::FileNotFound, kFileNotFound, false, 0},
      {FileIO::OpenReadWrite, FileIO::OpenExisting, false, Pyra::FileNotFound, kFileNotFound, false, 0},
      {FileIO::OpenReadWrite, FileIO::OpenExisting, true, Pyra::Ok, 0, true, 3},
      {FileIO::OpenReadWrite, FileIO::OpenAlways, false, Pyra::Ok, 0, true, 0},
      {FileIO::OpenReadWrite, FileIO::OpenAlways, true, Pyra::Ok, kAlreadyExists, true, 3},
      {FileIO::OpenReadWrite, FileIO::CreateAlways, false, Pyra::Ok, 0, true, 0},
      {FileIO::OpenReadWrite, FileIO::CreateAlways, true, Pyra::Ok, kAlreadyExists, true, 0},
      {FileIO::OpenReadWrite, FileIO::CreateNew, false, Pyra::Ok, 0, true, 0},
      {FileIO::OpenReadWrite, FileIO::CreateNew, true, Pyra::FileError, kFileExists, true, 3},
      {FileIO::OpenReadWrite, 9, false, Pyra::FileNotFound, kFileNotFound, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " creation " << c.creation << " exists "
                                    << c.exists);
    const std::string p = path("d.bin");
    ::unlink(p.c_str());
    if (c.exists) writeFile(p, "abc");
    File f = open(p, c.mode, FileIO::ShareReadWrite, static_cast<FileIO::FileCreationMode>(c.creation));
    EXPECT_EQ(f.openStatus(), c.status);
    EXPECT_EQ(FileIO::lastError(), c.error);
    struct stat st;
    ASSERT_EQ(::stat(p.c_str(), &st) == 0, c.existsAfter);
    if (c.existsAfter) {
      EXPECT_EQ(st.st_size, c.sizeAfter);
    }
  }
}

TEST_F(FileIoTest, OnlyRegularFilesOpen) {
  const std::string fifo = path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Nobody writes to the FIFO: the open must not wait for a writer.
  for (const std::string& p : {fifo, std::string("/dev/null")}) {
    File f = open(p, FileIO::OpenRead);
    EXPECT_EQ(f.openStatus(), Pyra::FileError) << p;
    EXPECT_FALSE(f == File::nullFile()) << p;
    char c;
    unsigned n = 7;
    EXPECT_FALSE(f.readFromFile(&c, 1, &n)) << p;  // the handle is null
    EXPECT_EQ(FileIO::lastError(), kInvalidHandle) << p;
    EXPECT_EQ(n, 0u);
  }
  File folder = open(dir.path(), FileIO::OpenRead);
  EXPECT_EQ(folder.openStatus(), Pyra::AccessDenied);
  EXPECT_EQ(FileIO::lastError(), kAccessDenied);
}

TEST_F(FileIoTest, NullFilesCopiesAndHandlesCompare) {
  File a = File::nullFile();
  EXPECT_EQ(a.openStatus(), Pyra::NotOpened);
  EXPECT_TRUE(File::nullFile() == File::nullFile());
  EXPECT_TRUE(a.close());

  writeFile(path("e.txt"), "x");
  File one = open(path("e.txt"), FileIO::OpenRead);
  File two = open(path("e.txt"), FileIO::OpenRead);
  ASSERT_EQ(one.openStatus(), Pyra::Ok);
  ASSERT_EQ(two.openStatus(), Pyra::Ok);
  EXPECT_FALSE(one == two);
  EXPECT_FALSE(one == a);
  EXPECT_FALSE(a == one);
  File copy = one;
  EXPECT_TRUE(copy == one);
  a = two;
  EXPECT_TRUE(a == two);
  a = a;  // self-assignment keeps the reference
  EXPECT_EQ(a.getFileSize(), 1u);
}

TEST_F(FileIoTest, CloseIsSharedByCopiesAndLeavesAnInvalidHandle) {
  writeFile(path("c.txt"), "data");
  File f = open(path("c.txt"), FileIO::OpenReadWrite);
  File copy = f;
  ASSERT_TRUE(f.close());
  EXPECT_EQ(FileIO::lastError(), 0u);
  EXPECT_EQ(copy.openStatus(), Pyra::FileError);
  char buffer[4];
  unsigned n = 0;
  EXPECT_FALSE(copy.readFromFile(buffer, 4, &n));
  EXPECT_EQ(FileIO::lastError(), kInvalidHandle);
  EXPECT_FALSE(f.close());
  EXPECT_EQ(FileIO::lastError(), kInvalidHandle);
  EXPECT_EQ(f.getFileSize(), 0u);
  EXPECT_EQ(f.getCurrentOffset(), 0);
}

TEST_F(FileIoTest, TheLastReferenceClosesTheHandle) {
  writeFile(path("r.txt"), "x");
  {
    File f = open(path("r.txt"), FileIO::OpenRead, FileIO::ShareNone);
    File copy = f;
    f = File::nullFile();
    // Still open through the copy: a second exclusive open is refused.
    EXPECT_EQ(open(path("r.txt"), FileIO::OpenRead).openStatus(), Pyra::SharingViolation);
  }
  EXPECT_EQ(open(path("r.txt"), FileIO::OpenRead, FileIO::ShareNone).openStatus(), Pyra::Ok);
}

TEST_F(FileIoTest, ReadsWritesSeeksAndResizes) {
  File f = open(path("rw.bin"), FileIO::OpenReadWrite, FileIO::ShareNone, FileIO::CreateNew);
  ASSERT_EQ(f.openStatus(), Pyra::Ok);
  std::vector<char> big(8 << 20);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
  EXPECT_TRUE(f.writeToFile(big.data(), static_cast<unsigned>(big.size()), nullptr));
  EXPECT_EQ(FileIO::lastError(), 0u);
  EXPECT_EQ(f.getFileSize(), big.size());
  EXPECT_EQ(f.getCurrentOffset(), static_cast<long long>(big.size()));

  ASSERT_TRUE(f.seek(0, FileIO::SeekBegin));
  std::vector<char> back(big.size() + 10);
  unsigned n = 0;
  EXPECT_TRUE(f.readFromFile(back.data(), static_cast<unsigned>(back.size()), &n));
  EXPECT_EQ(n, big.size());
  back.resize(n);
  EXPECT_TRUE(back == big);
  EXPECT_TRUE(f.readFromFile(back.data(), 1, &n));  // at the end: success, nothing read
  EXPECT_EQ(n, 0u);

  EXPECT_TRUE(f.seek(-10, FileIO::SeekEnd));
  EXPECT_EQ(f.getCurrentOffset(), static_cast<long long>(big.size() - 10));
  EXPECT_TRUE(f.seek(4, FileIO::SeekCurrent));
  EXPECT_TRUE(f.seek(100, static_cast<FileIO::FileSeekAnchor>(7)));  // unknown anchors count from the start
  EXPECT_EQ(f.getCurrentOffset(), 100);
  EXPECT_FALSE(f.seek(-1, FileIO::SeekBegin));
  EXPECT_EQ(FileIO::lastError(), kNegativeSeek);
  EXPECT_EQ(f.getCurrentOffset(), 100);

  EXPECT_TRUE(f.setEndOfFile());
  EXPECT_EQ(f.getFileSize(), 100u);
  EXPECT_TRUE(f.seek(5000, FileIO::SeekBegin));
  EXPECT_TRUE(f.setEndOfFile());
  EXPECT_EQ(f.getFileSize(), 5000u);
  EXPECT_TRUE(f.flushFileBuffers());
  unsigned written = 99;
  EXPECT_TRUE(f.writeToFile("xy", 2, &written));
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(f.getFileSize(), 5002u);
}

// The file-size limit cuts a write short and refuses the next one: the loop
// must go on after the short write and report the refusal, never success.
TEST_F(FileIoTest, AShortWriteIsContinuedAndItsFailureReported) {
  const std::string p = path("limited.bin");
  const kvpal::test::ChildOutcome child = kvpal::test::runInChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    File f = open(p, FileIO::OpenReadWrite, FileIO::ShareNone, FileIO::CreateNew);
    std::vector<char> data(4000, 'q');
    unsigned written = 0;
    const bool ok = f.writeToFile(data.data(), static_cast<unsigned>(data.size()), &written);
    return !ok && written == 1000 && FileIO::lastError() == 223 ? 0 : 1;
  });
  EXPECT_EQ(child.exitCode, 0) << child.output;
  EXPECT_EQ(contents(p).size(), 1000u);
}

TEST_F(FileIoTest, OperationsNeedTheAccessTheHandleHolds) {
  writeFile(path("a.txt"), "abc");
  File readOnly = open(path("a.txt"), FileIO::OpenRead);
  File none = open(path("a.txt"), FileIO::OpenNone);
  ASSERT_EQ(none.openStatus(), Pyra::Ok);
  const __int64 t = 100;
  struct Case {
    const char* what;
    File* file;
    bool (*op)(File&, const __int64*);
  };
  const Case cases[] = {
      {"write on read", &readOnly, [](File& f, const __int64*) { return f.writeToFile("z", 1, nullptr); }},
      {"truncate on read", &readOnly, [](File& f, const __int64*) { return f.setEndOfFile(); }},
      {"flush on read", &readOnly, [](File& f, const __int64*) { return f.flushFileBuffers(); }},
      {"set time on read", &readOnly, [](File& f, const __int64* w) { return f.setFileTime(nullptr, w, w); }},
      {"read on none", &none,
       [](File& f, const __int64*) {
         char c;
         unsigned n;
         return f.readFromFile(&c, 1, &n);
       }},
      {"write on none", &none, [](File& f, const __int64*) { return f.writeToFile("z", 1, nullptr); }},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(c.op(*c.file, &t)) << c.what;
    EXPECT_EQ(FileIO::lastError(), kAccessDenied) << c.what;
  }
  EXPECT_EQ(contents(path("a.txt")), "abc");
  // Size and times need no data access.
  EXPECT_EQ(none.getFileSize(), 3u);
  __int64 written = 0;
  EXPECT_TRUE(none.getFileTime(nullptr, nullptr, &written));
  EXPECT_GT(written, 0);
}

TEST_F(FileIoTest, OpenNoneReachesAFileThatCannotBeRead) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  writeFile(path("secret"), "12345");
  ASSERT_EQ(::chmod(path("secret").c_str(), 0), 0);
  EXPECT_EQ(open(path("secret"), FileIO::OpenRead).openStatus(), Pyra::AccessDenied);
  File f = open(path("secret"), FileIO::OpenNone);
  ASSERT_EQ(f.openStatus(), Pyra::Ok);
  EXPECT_EQ(f.getFileSize(), 5u);
}

TEST_F(FileIoTest, TimesConvertAsSecondsSince1970) {
  const std::string p = path("t.txt");
  writeFile(p, "t");
  struct TimeCase {
    struct timespec stored;
    __int64 seconds;
  };
  // Truncation toward zero, as the Windows file-time conversion divides.
  const TimeCase cases[] = {
      {{10, 0}, 10}, {{10, 999999999}, 10}, {{-2, 500000000}, -1}, {{1700000000, 1}, 1700000000}};
  File f = open(p, FileIO::OpenRead);
  for (const auto& c : cases) {
    struct timespec ts[2] = {c.stored, c.stored};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), ts, 0), 0);
    __int64 accessed = 0, written = 0;
    EXPECT_TRUE(f.getFileTime(nullptr, &accessed, &written));
    EXPECT_EQ(written, c.seconds) << c.stored.tv_sec << "." << c.stored.tv_nsec;
    EXPECT_EQ(accessed, c.seconds);
  }
}

TEST_F(FileIoTest, SetFileTimeAppliesAllOrNothing) {
  const std::string p = path("s.txt");
  File f = open(p, FileIO::OpenReadWrite, FileIO::ShareReadWrite, FileIO::CreateNew);
  const __int64 accessed = 1000, written = 2000;
  ASSERT_TRUE(f.setFileTime(nullptr, &accessed, &written));
  __int64 created = 0, a = 0, w = 0;
  ASSERT_TRUE(f.getFileTime(&created, &a, &w));
  EXPECT_EQ(a, 1000);
  EXPECT_EQ(w, 2000);

  const __int64 later = 3000;
  EXPECT_TRUE(f.setFileTime(nullptr, nullptr, &later));  // null leaves the access time alone
  ASSERT_TRUE(f.getFileTime(nullptr, &a, &w));
  EXPECT_EQ(a, 1000);
  EXPECT_EQ(w, 3000);

  // A creation time Linux cannot apply: nothing at all changes.
  const __int64 otherCreation = created - 86400, newer = 4000;
  EXPECT_FALSE(f.setFileTime(&otherCreation, &newer, &newer));
  EXPECT_EQ(FileIO::lastError(), kNotSupported);
  ASSERT_TRUE(f.getFileTime(nullptr, &a, &w));
  EXPECT_EQ(a, 1000);
  EXPECT_EQ(w, 3000);

  struct statx sx;
  ASSERT_EQ(::statx(AT_FDCWD, p.c_str(), 0, STATX_BTIME, &sx), 0);
  if (sx.stx_mask & STATX_BTIME) {
    // The creation time it already has can be given back.
    EXPECT_TRUE(f.setFileTime(&created, &newer, nullptr));
    ASSERT_TRUE(f.getFileTime(nullptr, &a, nullptr));
    EXPECT_EQ(a, 4000);
  }

  // Before 1601 is no file time; 1601 itself (file time 0) means "unchanged".
  const __int64 before1601 = -11644473601LL, at1601 = -11644473600LL;
  EXPECT_FALSE(f.setFileTime(nullptr, &before1601, nullptr));
  EXPECT_EQ(FileIO::lastError(), 87u);
  EXPECT_TRUE(f.setFileTime(nullptr, nullptr, &at1601));
  ASSERT_TRUE(f.getFileTime(nullptr, nullptr, &w));
  EXPECT_EQ(w, 3000);
}

TEST_F(FileIoTest, LastErrorIsPerThread) {
  File missing = open(path("missing"), FileIO::OpenRead);
  ASSERT_EQ(FileIO::lastError(), kFileNotFound);
  unsigned fresh = 99, afterOpen = 99;
  std::thread([&] {
    fresh = FileIO::lastError();
    File f =
        File::openFile(L"/", FileIO::Utf16Name, FileIO::OpenRead, FileIO::ShareRead, FileIO::OpenExisting);
    afterOpen = FileIO::lastError();
  }).join();
  EXPECT_EQ(fresh, 0u);
  EXPECT_EQ(afterOpen, kAccessDenied);
  EXPECT_EQ(FileIO::lastError(), kFileNotFound);
}

TEST_F(FileIoTest, NarrowNamesAreInTheAnsiCodePage) {
  // The suite runs under LC_ALL=C: the ANSI code page is 1252, where 0xE9 is
  // U+00E9, stored on disk as UTF-8.
  const std::string narrow = dir.path() + "/caf\xE9.txt";
  File f = File::openFile(narrow.c_str(), static_cast<FileIO::FileCharType>(0), FileIO::OpenReadWrite,
                          FileIO::ShareNone, FileIO::CreateNew);
  ASSERT_EQ(f.openStatus(), Pyra::Ok);
  struct stat st;
  EXPECT_EQ(::stat((dir.path() + "/caf\xC3\xA9.txt").c_str(), &st), 0);
  const std::wstring lone = wide(dir.path()) + L"/x\xD800";
  EXPECT_EQ(File::openFile(lone.c_str(), FileIO::Utf16Name, FileIO::OpenReadWrite, FileIO::ShareNone,
                           FileIO::CreateNew)
                .openStatus(),
            Pyra::FileError);
  EXPECT_EQ(FileIO::lastError(), 123u);  // an invalid name
}

TEST(FileIoModes, MapToWindowsFlags) {
  const std::pair<int, unsigned> access[] = {{0, 0}, {1, 0x80000000u}, {2, 0xC0000000u}, {3, 0}, {-1, 0}};
  for (auto [mode, flags] : access)
    EXPECT_EQ(FileIO::toWin32AccessMode(static_cast<FileIO::FileOpenMode>(mode)), flags) << mode;
  const std::pair<int, unsigned> share[] = {{0, 0}, {1, 1}, {2, 3}, {3, 7}, {4, 0}, {-1, 0}};
  for (auto [mode, flags] : share)
    EXPECT_EQ(FileIO::toWin32ShareMode(static_cast<FileIO::FileShareMode>(mode)), flags) << mode;
}

// --- the runtime's streams ---

TEST_F(FileIoTest, StreamModeStringsAreTheRuntimes) {
  struct ModeCase {
    const wchar_t* mode;
    bool valid;
  };
  const ModeCase cases[] = {
      {L"r", true},
      {L"rb", true},
      {L"r+t", true},
      {L"w+bc", true},
      {L"aN", true},
      {L"rS", true},
      {L"rR", true},
      {L"wT", true},
      {L" r", true},
      {L"wx", true},
      {L"r, ccs=UTF-8", true},
      {L"w,ccs=utf-16le", true},
      {L"a+,ccs=UNICODE", true},
      {L"", false},
      {L"q", false},
      {L"r++", false},
      {L"rtb", false},
      {L"rcn", false},
      {L"rSR", false},
      {L"rx", false},
      {L"ax", false},
      {L"r,ccs=latin1", false},
      {L"r,css=UTF-8", false},
      {L"rz", false},
  };
  writeFile(path("m.txt"), "m");
  const std::wstring name = wide(path("m.txt"));
  for (const auto& c : cases) {
    writeFile(path("m.txt"), "m");
    if (std::wcschr(c.mode, L'x')) ::unlink(path("m.txt").c_str());
    errno = 0;
    FILE* stream = FileIO::openFILEWithShareFlag(name.c_str(), c.mode, _SH_DENYNO);
    EXPECT_EQ(stream != nullptr, c.valid) << testing::PrintToString(std::wstring(c.mode));
    if (stream) std::fclose(stream);
    if (!c.valid) {
      EXPECT_EQ(errno, EINVAL);
    }
  }
  EXPECT_EQ(FileIO::openFILEWithShareFlag(name.c_str(), L"r", 0x50), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(FileIO::openFILE(nullptr, L"r"), nullptr);
  EXPECT_EQ(FileIO::openFILE(name.c_str(), nullptr), nullptr);
}

TEST_F(FileIoTest, StreamsReadWriteAppendAndCreate) {
  const std::wstring name = wide(path("s.txt"));
  FILE* w = FileIO::openFILE(name.c_str(), L"w");
  ASSERT_NE(w, nullptr);
  std::fputs("one\n", w);
  std::fclose(w);
  FILE* a = FileIO::openFILEWithShareFlag(name.c_str(), L"a", _SH_DENYNO);
  ASSERT_NE(a, nullptr);
  std::fseek(a, 0, SEEK_SET);  // appending writes at the end all the same
  std::fputs("two\n", a);
  std::fclose(a);
  EXPECT_EQ(contents(path("s.txt")), "one\ntwo\n");

  FILE* r = FileIO::openFILE(name.c_str(), L"r");
  ASSERT_NE(r, nullptr);
  char line[16];
  ASSERT_NE(std::fgets(line, sizeof line, r), nullptr);
  EXPECT_STREQ(line, "one\n");
  EXPECT_EQ(std::fputs("x", r), EOF);  // a read-only stream
  std::fclose(r);

  errno = 0;
  EXPECT_EQ(FileIO::openFILE(name.c_str(), L"wx"), nullptr);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(FileIO::openFILE(wide(path("none")).c_str(), L"r"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(FileIO::openFILE(wide(dir.path()).c_str(), L"r"), nullptr);
  EXPECT_EQ(errno, EACCES);
}

TEST_F(FileIoTest, StreamSharingFlagsMeetFileShareModes) {
  const std::string p = path("shared.txt");
  writeFile(p, "keep");
  const std::wstring name = wide(p);
  struct ShareCase {
    const wchar_t* mode;
    int flag;
    FileIO::FileOpenMode other;
    bool otherOpens;
  };
  const ShareCase cases[] = {
      {L"r", _SH_DENYWR, FileIO::OpenRead, true},       {L"r", _SH_DENYWR, FileIO::OpenReadWrite, false},
      {L"r", _SH_DENYRD, FileIO::OpenRead, false},      {L"r", _SH_DENYRW, FileIO::OpenRead, false},
      {L"r", _SH_DENYNO, FileIO::OpenReadWrite, true},  {L"r", _SH_SECURE, FileIO::OpenRead, true},
      {L"r", _SH_SECURE, FileIO::OpenReadWrite, false}, {L"r+", _SH_SECURE, FileIO::OpenRead, false},
      {L"a", _SH_DENYNO, FileIO::OpenReadWrite, true},  {L"a", _SH_DENYRD, FileIO::OpenRead, false},
      {L"r", _SH_DENYRW, FileIO::OpenNone, true},  // an open without data access takes no part
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(c.mode)) << " flag " << c.flag
                                    << " other " << c.other);
    FILE* stream = FileIO::openFILEWithShareFlag(name.c_str(), c.mode, c.flag);
    ASSERT_NE(stream, nullptr);
    // The File opens sharing everything, so only the stream's sharing decides.
    File f = open(p, c.other, FileIO::ShareReadWriteDelete);
    EXPECT_EQ(f.openStatus() == Pyra::Ok, c.otherOpens);
    if (!c.otherOpens) {
      EXPECT_EQ(FileIO::lastError(), kSharingViolation);
    }
    std::fclose(stream);
  }
  // A refused "w" open must not truncate the file first.
  File holder = open(p, FileIO::OpenRead, FileIO::ShareRead);
  errno = 0;
  EXPECT_EQ(FileIO::openFILE(name.c_str(), L"w"), nullptr);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(contents(p), "keep");
}

TEST_F(FileIoTest, CcsStreamsReadAndWriteUtf8) {
  const std::string p = path("u.txt");
  writeFile(p,
            "\xEF\xBB\xBF"
            "caf\xC3\xA9 \xF0\x9F\x98\x80");
  const std::wstring name = wide(p);
  for (const wchar_t* mode : {L"r, ccs=UTF-8", L"r,ccs=UNICODE", L"r+,ccs=UTF-16LE"}) {
    FILE* r = FileIO::openFILE(name.c_str(), mode);
    ASSERT_NE(r, nullptr);
    std::wstring text;
    for (wint_t c; (c = std::fgetwc(r)) != WEOF;) text += static_cast<wchar_t>(c);
    EXPECT_EQ(text, L"caf\u00e9 \U0001F600") << testing::PrintToString(std::wstring(mode));
    std::fclose(r);
  }
  FILE* w = FileIO::openFILE(wide(path("w.txt")).c_str(), L"w,ccs=UTF-8");
  ASSERT_NE(w, nullptr);
  EXPECT_GE(std::fputws(L"\u00e9\u4e2d", w), 0);
  std::fclose(w);
  EXPECT_EQ(contents(path("w.txt")), "\xC3\xA9\xE4\xB8\xAD");
}

TEST_F(FileIoTest, DeleteOnCloseStreamsLeaveNoName) {
  const std::string p = path("tmp.txt");
  FILE* t = FileIO::openFILE(wide(p).c_str(), L"w+D");
  ASSERT_NE(t, nullptr);
  EXPECT_NE(::access(p.c_str(), F_OK), 0);
  std::fputs("scratch", t);
  std::rewind(t);
  char buffer[8] = {};
  EXPECT_NE(std::fgets(buffer, sizeof buffer, t), nullptr);
  EXPECT_STREQ(buffer, "scratch");
  std::fclose(t);
}

TEST(FileIoStreams, SetMaxStdioMovesTheSoftDescriptorLimit) {
  struct rlimit before;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
  EXPECT_EQ(FileIO::setmaxstdio(19), -1);
  EXPECT_EQ(FileIO::setmaxstdio(-1), -1);
  if (before.rlim_max != RLIM_INFINITY && before.rlim_max < 0x7fffffff) {
    EXPECT_EQ(FileIO::setmaxstdio(static_cast<int>(before.rlim_max) + 1), -1);
  }
  EXPECT_EQ(FileIO::setmaxstdio(512), 512);
  struct rlimit now;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
  EXPECT_EQ(now.rlim_cur, 512u);
  EXPECT_EQ(now.rlim_max, before.rlim_max);
  ::setrlimit(RLIMIT_NOFILE, &before);
}

}  // namespace
