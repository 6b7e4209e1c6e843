// Path utilities: the lexical rules by table, the queries on real files and
// folders in a temporary folder.
#include "pal/file_system.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "base/path_text.h"
#include "platform/posix_util.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = boost::filesystem;
namespace FS = Halvex::Tessaran::PAL::FileSystem;
namespace detail = Halvex::Tessaran::PAL::detail;

TEST(PathText, ConvertsAsUtf8WhateverTheLocale) {
  // The suite runs under LC_ALL=C, where the locale's own conversion knows
  // only ASCII.
  const std::optional<fs::path> p = detail::pathFromWide(L"/tmp/caf\u00e9/\U0001F600");
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->native(), "/tmp/caf\xC3\xA9/\xF0\x9F\x98\x80");
  EXPECT_EQ(detail::wideFromPath(*p), std::optional<std::wstring>(L"/tmp/caf\u00e9/\U0001F600"));
  EXPECT_FALSE(detail::wideFromPath(fs::path("bad\xFFname")).has_value());
  EXPECT_FALSE(detail::wideFromPath(fs::path("\xED\xA0\x80")).has_value());  // an encoded surrogate
  EXPECT_FALSE(detail::pathFromWide(L"lone\xD800").has_value());
  EXPECT_FALSE(detail::pathFromWide(L"big\x110000").has_value());
  EXPECT_FALSE(detail::pathFromWide(nullptr).has_value());
  EXPECT_EQ(detail::utf16Length("caf\xC3\xA9\xF0\x9F\x98\x80"), 6u);  // the emoji takes a surrogate pair
}

TEST(PathLexical, Separators) {
  EXPECT_EQ(FS::path_separator(), L'/');
  struct Case {
    wchar_t c;
    bool dir, drive;
  } cases[] = {
      {L'/', true, false},  {L'\\', true, false}, {L':', false, true},
      {L'a', false, false}, {L'.', false, false}, {L'\0', false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FS::is_dir_separator(c.c), c.dir) << int(c.c);
    EXPECT_EQ(FS::is_drive_separator(c.c), c.drive) << int(c.c);
  }
}

TEST(PathLexical, Normalized) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"/x/./y/../z", "/x/z"},
      {"/a/./b/../c/", "/a/c"},
      {"../../a", "a"},
      {"a/../../b", "b"},
      {"/../..", "/"},
      {"/a/b/../../..", "/"},
      {"//server/share/../x", "//server/x"},
      {"//server/..", "//server/"},
      {"a//b", "a/b"},
      {"a/b///", "a/b"},
      {"///a//b/", "/a/b"},
      {"./a/.", "a"},
      {"a/..", ""},
      {".", ""},
      {"", ""},
      {"/A/b/C", "/A/b/C"},     // letter case kept
      {"dir\\name/../x", "x"},  // '\' is part of a name on this platform
      {"/a/b/./../c/./../../d", "/d"},
      {"//.", "//./"},  // Boost reads "//." as a root name with a root directory
  };
  for (const Case& c : cases) EXPECT_EQ(FS::normalized(fs::path(c.in)).native(), c.out) << c.in;

  // An embedded NUL is kept as a character, never an end of the text.
  const std::string withNul("/a/../x/\0y//z/", 14);
  EXPECT_EQ(FS::normalized(fs::path(withNul)).native(), std::string("/x/\0y/z", 7));
}

// One table row for a yes/no test of a wide string.
struct TextCase {
  const wchar_t* s;
  bool expected;
};

void expectEach(bool (*test)(const wchar_t*), std::initializer_list<TextCase> cases) {
  for (const TextCase& c : cases) EXPECT_EQ(test(c.s), c.expected) << (c.s ? c.s : L"(null)");
}

TEST(PathLexical, DeviceNames) {
  expectEach(FS::isPathDeviceName, {
                                       {L"C:\\work\\con.txt", true},
                                       {L"nul", true},
                                       {L"x:aux", true},
                                       {L"COM4.dat", true},
                                       {L"lpt1", true},
                                       {L"com4.", true},
                                       {L"dir\\Clock$.sys", true},
                                       {L"XMSXXXX0", true},
                                       {L"CONFIG", false},
                                       {L"COM5", false},
                                       {L"C:\\LPT9", false},
                                       {L"LPT9.txt", false},  // no printer port is redirected here
                                       {L"con.txt.bak", false},
                                       {L"/tmp/con.txt", false},  // '/' does not delimit the component
                                       {L"aux\\file", false},
                                       {L"C:\\work\\", false},
                                       {L"co", false},
                                       {L"", false},
                                       {nullptr, false},
                                   });
}

TEST(PathLexical, Urls) {
  expectEach(FS::isPathUrl, {
                                {L"http://example.com/a", true},
                                {L"file:///tmp/x", true},
                                {L"mailto:a@b.c", true},
                                {L"svn+ssh://host/repo", true},
                                {L"ab:", true},
                                {L"c:\\x", false},
                                {L"C:/x", false},
                                {L"/tmp/x", false},
                                {L"1http://x", false},
                                {L"ht tp://x", false},
                                {L"http", false},
                                {L"", false},
                                {nullptr, false},
                            });
}

TEST(PathLexical, RelativePathTo) {
  struct Case {
    const wchar_t* from;
    const wchar_t* to;
    const wchar_t* rel;
  } cases[] = {
      {L"/work/a.txt", L"/work/b.txt", L"./b.txt"},
      {L"/work/a/x.txt", L"/work/c/d.txt", L"../c/d.txt"},
      {L"/a/b/c/f", L"/a/x", L"../../x"},
      {L"/a/f", L"/b/g", L"../b/g"},
      {L"/a/f", L"/a/sub/g", L"./sub/g"},
      {L"/a/f", L"/a", L"../a"},  // `to` is a file too: its folder is "/"
      {L"/a/f", L"/", L".."},
      {L"/a/b/", L"/a/g", L"../g"},  // a trailing separator names a folder
      {L"/a/b/", L"/a/b/g", L"./g"},
      {L"/a/f", L"/a/b/", L"./b/"},
      {L"/a/f", L"/a/", L"./"},
      {L"/a/./f", L"/a//g", L"./g"},
      {L"/A/f", L"/a/g", L"../a/g"},  // names compare case-sensitively
      {L"a/f", L"a/b/g", L"./b/g"},
      {L"a/f", L"b/g", L""},  // no common root
      {L"/a/f", L"a/g", L""},
      {L"f", L"g", L""},
      {L"", L"/a", L""},
      {nullptr, L"/a", L""},
      {L"/a", nullptr, L""},
      {L"/a/\xDC00/f", L"/a/g", L""},  // not Unicode: no file name matches it
  };
  for (const Case& c : cases)
    EXPECT_EQ(FS::pathRelativePathTo(c.from, c.to), c.rel)
        << (c.from ? c.from : L"(null)") << " -> " << (c.to ? c.to : L"(null)");

  const std::wstring tooLong = L"/a/" + std::wstring(PATH_MAX, L'x');
  EXPECT_EQ(FS::pathRelativePathTo(tooLong.c_str(), L"/a/b"), L"");
  EXPECT_EQ(FS::pathRelativePathTo(L"/a/b", tooLong.c_str()), L"");
}

TEST(PathLexical, NetworkPathByForm) {
  expectEach(FS::isPathNetworkPath, {
                                        {L"//server/share", true},
                                        {L"\\\\server\\share", true},
                                        {L"/\\server", true},
                                        {L"/proc/self/status", false},  // procfs is always local
                                        {L"/", false},
                                        {L"", false},
                                        {nullptr, false},
                                    });
}

// Sets or clears one environment variable for the scope of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Changes the current directory for the scope of a test.
class ScopedCwd {
 public:
  explicit ScopedCwd(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~ScopedCwd() { fs::current_path(old_); }

 private:
  fs::path old_;
};

// A fresh folder (by its real, symlink-free name) removed after the test.
class PathQueries : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = fs::canonical(temp_.path()); }
  fs::path touch(const fs::path& rel) {
    fs::path p = dir_ / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p.string()) << "x";
    return p;
  }
  static std::wstring wide(const fs::path& p) { return detail::wideFromPath(p).value(); }

  kvpal::test::TempDir temp_{"kvpal-paths"};
  fs::path dir_;
};

TEST_F(PathQueries, ResolvePathGivesTheFinalName) {
  const fs::path file = touch("real/f\xC3\xA9.txt");
  fs::create_directory_symlink(dir_ / "real", dir_ / "link");
  fs::create_symlink(file, dir_ / "file-link");

  EXPECT_EQ(FS::resolve_path(file), file);
  EXPECT_EQ(FS::resolve_path(dir_ / "link" / "f\xC3\xA9.txt"), file);
  EXPECT_EQ(FS::resolve_path(dir_ / "file-link"), file);
  EXPECT_EQ(FS::resolve_path(dir_ / "real/./../real/f\xC3\xA9.txt"), file);
  {
    ScopedCwd cwd(dir_);
    EXPECT_EQ(FS::resolve_path("real/f\xC3\xA9.txt"), file);
  }
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(FS::resolve_path(dir_ / "fifo"), dir_ / "fifo");  // opened without waiting for a writer
}

TEST_F(PathQueries, ResolvePathFailures) {
  const fs::path file = touch("file");

  EXPECT_TRUE(FS::resolve_path(dir_).empty());
  EXPECT_EQ(detail::lastError(), detail::ERROR_ACCESS_DENIED);
  EXPECT_TRUE(FS::resolve_path(dir_ / "missing").empty());
  EXPECT_EQ(detail::lastError(), detail::ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(FS::resolve_path(fs::path()).empty());
  // An embedded NUL must not open the file named by the text before it.
  EXPECT_TRUE(FS::resolve_path(fs::path(file.native() + std::string("\0x", 2))).empty());
  EXPECT_TRUE(FS::resolve_path(fs::path("/" + std::string(PATH_MAX + 10, 'a'))).empty());

  // A socket file cannot be opened for reading, even by root.
  const fs::path socketPath = dir_ / "sock";
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.native().size(), sizeof(addr.sun_path));
  socketPath.native().copy(addr.sun_path, sizeof(addr.sun_path) - 1);
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  EXPECT_TRUE(FS::resolve_path(socketPath).empty());
  close(sock);
}

TEST_F(PathQueries, ResolvePathRefusesAnUnreadableFile) {
  const fs::path file = touch("locked");
  fs::permissions(file, fs::owner_read | fs::owner_write);
  fs::permissions(dir_, fs::owner_all | fs::group_exe | fs::others_exe);
  auto refused = [&] {
    return FS::resolve_path(file).empty() && detail::lastError() == detail::ERROR_ACCESS_DENIED;
  };
  if (geteuid() != 0) {
    fs::permissions(file, fs::no_perms);
    EXPECT_TRUE(refused());
    return;
  }
  // Root reads any file, so the check runs in a child that has given up root.
  const kvpal::test::ChildOutcome child =
      kvpal::test::runInChild([&] { return setuid(65534) == 0 && refused() ? 0 : 1; });
  EXPECT_EQ(child.exitCode, 0) << child.output;
}

TEST_F(PathQueries, ResolvePathKeepsTheLengthLimit) {
  // Names are counted in UTF-16 units: each U+00E9 is one unit in two bytes.
  // A single name may not exceed 255 bytes, so the text is split into folders.
  std::string rel;
  std::size_t run = 0;
  while (detail::utf16Length(dir_.native()) + 1 + detail::utf16Length(rel) < 259) {
    if (run == 100) {
      rel += '/';
      run = 0;
    } else {
      rel += "\xC3\xA9";
      ++run;
    }
  }
  if (rel.back() == '/') rel.back() = 'e';
  const fs::path shortFile = touch(rel);
  const fs::path longFile = touch(rel + "x");
  ASSERT_EQ(detail::utf16Length(shortFile.native()), 259u);
  EXPECT_EQ(FS::resolve_path(shortFile), shortFile);
  EXPECT_TRUE(FS::resolve_path(longFile).empty());
}

TEST_F(PathQueries, TempDirectory) {
  boost::system::error_code ec = make_error_code(boost::system::errc::io_error);
  {
    ScopedEnv tmp("TMPDIR", dir_.c_str());
    EXPECT_EQ(FS::temp_directory_path(ec), dir_);
    EXPECT_FALSE(ec);
    EXPECT_EQ(&ec.category(), &boost::system::system_category());
  }
  const fs::path file = touch("plain-file");
  for (const fs::path& bad : {dir_ / "missing", file}) {
    ScopedEnv tmp("TMPDIR", bad.c_str());
    EXPECT_TRUE(FS::temp_directory_path(ec).empty()) << bad;
    EXPECT_TRUE(ec) << bad;
  }
}

TEST_F(PathQueries, SearchPathOrder) {
  const fs::path inFirst = touch("first/tool");
  touch("second/tool");
  const fs::path onlySecond = touch("second/other");
  fs::create_directories(dir_ / "first/other");  // a folder is never a match
  const fs::path inCwd = touch("work/tool");
  const fs::path nested = touch("work/sub/deep");
  const fs::path relEntry = touch("work/rel/only-rel");
  const std::string pathList = (dir_ / "first").native() + ":" + (dir_ / "second").native() + ":rel";
  ScopedEnv path("PATH", pathList.c_str());

  EXPECT_EQ(FS::searchPath(L"other"), wide(onlySecond));
  EXPECT_EQ(FS::searchPath(L"missing"), L"");
  EXPECT_EQ(FS::searchPath(wide(inFirst).c_str()), wide(inFirst));
  {
    ScopedCwd cwd(dir_ / "work");
    EXPECT_EQ(FS::searchPath(L"tool"), wide(inCwd));  // the current folder before PATH
    EXPECT_EQ(FS::searchPath(L"sub/deep"), wide(nested));
    EXPECT_EQ(FS::searchPath(L"only-rel"), wide(relEntry));
    EXPECT_EQ(FS::searchPath(L"./tool"), wide(inCwd));

    // The executable's folder comes before the current one.
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    touch("work" / exe.filename());
    EXPECT_EQ(FS::searchPath(wide(exe.filename()).c_str()), wide(exe));
  }
  EXPECT_EQ(FS::searchPath(L""), L"");
  EXPECT_EQ(FS::searchPath(nullptr), L"");
}

TEST_F(PathQueries, SearchPathConvertsNamesAsUtf8) {
  const fs::path file = touch("bin/caf\xC3\xA9");
  ScopedEnv path("PATH", (dir_ / "bin").c_str());
  EXPECT_EQ(FS::searchPath(L"caf\u00e9"), wide(file));
}

TEST_F(PathQueries, DocumentsFolder) {
  const fs::path home = dir_ / "home";
  const fs::path config = dir_ / "config";
  fs::create_directories(config);
  std::ofstream(config / "user-dirs.dirs")
      << "# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/My Docs\"\n";
  ScopedEnv homeVar("HOME", home.c_str());
  ScopedEnv configVar("XDG_CONFIG_HOME", config.c_str());
  const std::wstring expected = wide(home / "My Docs");

  const std::wstring missing = FS::getMyDocumentsPath(false);
  EXPECT_EQ(missing, std::wstring(260, L'\0'));  // not created: reads as empty
  EXPECT_FALSE(fs::exists(home / "My Docs"));

  const std::wstring created = FS::getMyDocumentsPath(true);
  EXPECT_EQ(created.size(), 260u);
  EXPECT_EQ(created.substr(0, created.find(L'\0')), expected);
  EXPECT_EQ(created.find_first_not_of(L'\0', expected.size()), std::wstring::npos);
  EXPECT_TRUE(fs::is_directory(home / "My Docs"));
  EXPECT_EQ(FS::getMyDocumentsPath(false), created);

  fs::remove(config / "user-dirs.dirs");
  fs::create_directories(home / "Documents");
  const std::wstring fallback = FS::getMyDocumentsPath(false);
  EXPECT_EQ(fallback.substr(0, fallback.find(L'\0')), wide(home / "Documents"));
}

TEST_F(PathQueries, DocumentsFolderEdges) {
  {
    // Longer than the buffer: the whole path, then a NUL.
    const fs::path home = dir_ / std::string(200, 'h') / std::string(100, 'i');
    ScopedEnv homeVar("HOME", home.c_str());
    ScopedEnv configVar("XDG_CONFIG_HOME", nullptr);
    const std::wstring docs = FS::getMyDocumentsPath(true);
    const std::wstring expected = wide(home / "Documents");
    EXPECT_EQ(docs.size(), expected.size() + 1);
    EXPECT_EQ(docs.substr(0, docs.find(L'\0')), expected);
  }
  {
    // A file where the folder should be: creating it fails.
    const fs::path home = dir_ / "blocked";
    touch("blocked/Documents");
    ScopedEnv homeVar("HOME", home.c_str());
    ScopedEnv configVar("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(FS::getMyDocumentsPath(true), std::wstring(260, L'\0'));
  }
  {
    // A home folder whose name is not UTF-8 has no wide form.
    const fs::path home = dir_ / "bad\xFF";
    fs::create_directories(home / "Documents");
    ScopedEnv homeVar("HOME", home.c_str());
    ScopedEnv configVar("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(FS::getMyDocumentsPath(false), std::wstring(260, L'\0'));
  }
}

TEST_F(PathQueries, LocalFilesHaveNoNetworkName) {
  const fs::path file = touch("f.txt");
  // The temporary folder may be anywhere; procfs is local on every system.
  EXPECT_EQ(FS::getNetworkPathForFile(L"/proc/self/status"), L"");
  EXPECT_EQ(FS::getNetworkPathForFile(L""), L"");
  EXPECT_EQ(FS::getNetworkPathForFile(nullptr), L"");
  {
    ScopedCwd cwd("/proc/self");
    EXPECT_EQ(FS::getNetworkPathForFile(L"status"), L"");
    EXPECT_FALSE(FS::isPathNetworkPath(L"status"));
  }
}

}  // namespace
