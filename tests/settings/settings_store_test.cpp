// The SQLite settings store: hive files, name rules, deleted keys,
// transactions, and several processes writing one hive.
#include "settings/settings_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <set>

#include "hive_fixture.h"

using namespace Halvex::Tessaran::PAL::detail;

namespace {

using KeyId = SettingsHive::KeyId;

StoreValue dword(const std::wstring& name, unsigned v) {
  return {name,
          REG_DWORD,
          {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
           static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)}};
}

class StoreTest : public HiveFixture {
 protected:
  std::shared_ptr<SettingsHive> user() { return openHive(HKEY_CURRENT_USER); }

  KeyId create(const std::wstring& path) {
    KeyId id = 0;
    EXPECT_EQ(user()->createKey(path, id), ERROR_SUCCESS);
    return id;
  }
};

TEST_F(StoreTest, FirstWriteCreatesAWalHive) {
  auto hive = user();
  KeyId id;
  StoreValue v;
  EXPECT_EQ(hive->openKey(L"A", id), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(hive->openKey(L"", id), ERROR_SUCCESS);
  EXPECT_EQ(hive->getValue(id, L"x", v), ERROR_FILE_NOT_FOUND);
  std::vector<std::wstring> names;
  EXPECT_EQ(hive->subkeys(id, names), ERROR_SUCCESS);
  EXPECT_TRUE(names.empty());
  // Nor do deletions make a hive.
  EXPECT_EQ(hive->deleteValue(id, L"x"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(hive->deleteTree(L"A"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(hive->apply({{StoreChange::DeleteTree, L"A", {}},
                         {StoreChange::DeleteValue, L"B", {L"x", REG_NONE, {}}}}),
            ERROR_SUCCESS);
  EXPECT_FALSE(fileExists(userHive_));

  ASSERT_EQ(hive->setValue(create(L"A\\B"), dword(L"x", 5)), ERROR_SUCCESS);
  EXPECT_EQ(sqlText(userHive_, "PRAGMA journal_mode"), "wal");
  EXPECT_EQ(sqlText(userHive_, "PRAGMA integrity_check"), "ok");
  // Empty path components are ignored, as with a trailing '\'.
  ASSERT_EQ(hive->openKey(L"\\a\\\\b\\", id), ERROR_SUCCESS);
  ASSERT_EQ(hive->getValue(id, L"X", v), ERROR_SUCCESS);
  EXPECT_EQ(v.data, dword(L"", 5).data);
}

TEST_F(StoreTest, NameRules) {
  struct Case {
    const char* what;
    std::wstring keyName;
    std::wstring valueName;
    unsigned expected;
  } cases[] = {
      {"longest names", std::wstring(255, L'k'), std::wstring(16383, L'v'), ERROR_SUCCESS},
      {"key name too long", std::wstring(256, L'k'), L"v", ERROR_INVALID_PARAMETER},
      {"value name too long", L"k", std::wstring(16384, L'v'), ERROR_INVALID_PARAMETER},
      {"key name with NUL", std::wstring(L"a\0b", 3), L"v", ERROR_INVALID_PARAMETER},
      {"value name with NUL", L"k", std::wstring(L"a\0b", 3), ERROR_INVALID_PARAMETER},
      {"surrogate pairs count two", std::wstring(127, L'\U0001F600') + L"k", L"v", ERROR_SUCCESS},
      {"and can exceed the limit", std::wstring(128, L'\U0001F600'), L"v", ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<StoreChange> batch = {{StoreChange::SetValue, L"Root\\" + c.keyName, dword(c.valueName, 1)}};
    EXPECT_EQ(user()->apply(batch), c.expected);
    KeyId id = 0;
    unsigned rc = user()->createKey(L"Root\\" + c.keyName, id);
    if (rc == ERROR_SUCCESS) rc = user()->setValue(id, dword(c.valueName, 1));
    EXPECT_EQ(rc, c.expected);
  }
}

TEST_F(StoreTest, KeysNestAtMost512Levels) {
  auto chain = [](size_t depth) {
    std::wstring path = L"k";
    for (size_t i = 1; i < depth; ++i) path += L"\\k";
    return path;
  };
  struct Case {
    size_t depth;
    unsigned expected;
  } cases[] = {{512, ERROR_SUCCESS}, {513, ERROR_INVALID_PARAMETER}, {20000, ERROR_INVALID_PARAMETER}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.depth);
    KeyId id;
    EXPECT_EQ(user()->createKey(chain(c.depth), id), c.expected);
    // In a batch, the refusal undoes the whole batch.
    EXPECT_EQ(user()->apply({{StoreChange::SetValue, L"batch", dword(L"v", 1)},
                             {StoreChange::SetValue, chain(c.depth), dword(L"v", 1)}}),
              c.expected);
    EXPECT_EQ(user()->openKey(L"batch", id), c.expected ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
    ASSERT_EQ(user()->deleteTree(L"batch"), c.expected ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
  }
  // Nothing below level 512 was made.
  KeyId id;
  ASSERT_EQ(user()->openKey(chain(512), id), ERROR_SUCCESS);
  std::vector<std::wstring> names;
  ASSERT_EQ(user()->subkeys(id, names), ERROR_SUCCESS);
  EXPECT_TRUE(names.empty());
}

TEST_F(StoreTest, HivePathsNeverDependOnTheCurrentFolder) {
  // A relative override is fixed against the folder of its first use.
  EXPECT_EQ(runInChild([&] {
              setenv("KVPAL_USER_HIVE", "rel/u.db", 1);
              std::filesystem::create_directories(dir_ + "/elsewhere");
              if (chdir(dir_.c_str()) != 0) return 1;
              KeyId id;
              if (openHive(HKEY_CURRENT_USER)->createKey(L"K", id)) return 2;
              if (chdir((dir_ + "/elsewhere").c_str()) != 0) return 3;
              if (hiveInfo(HKEY_CURRENT_USER).path != dir_ + "/rel/u.db") return 4;
              return openHive(HKEY_CURRENT_USER)->openKey(L"K", id) == ERROR_SUCCESS ? 0 : 5;
            }),
            0);
  EXPECT_FALSE(fileExists(dir_ + "/elsewhere/rel"));
  // A relative configuration or home folder counts as unset.
  struct Case {
    const char* xdg;
    const char* home;
    std::string expected;
  } cases[] = {
      {"/x", "/h", "/x/halvex/settings.db"},
      {"x", "/h", "/h/.config/halvex/settings.db"},
      {"x", "h", std::string(getpwuid(getuid())->pw_dir) + "/.config/halvex/settings.db"},
      {nullptr, "", std::string(getpwuid(getuid())->pw_dir) + "/.config/halvex/settings.db"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.xdg ? c.xdg : "<unset>") << " " << c.home);
    EXPECT_EQ(runInChild([&] {
                unsetenv("KVPAL_USER_HIVE");
                c.xdg ? setenv("XDG_CONFIG_HOME", c.xdg, 1) : unsetenv("XDG_CONFIG_HOME");
                setenv("HOME", c.home, 1);
                return hiveInfo(HKEY_CURRENT_USER).path == c.expected ? 0 : 1;
              }),
              0);
  }
}

TEST_F(StoreTest, DeletedKeyFailsEveryLaterOperation) {
  KeyId child = create(L"P\\C");
  KeyId grandchild = create(L"P\\C\\G");
  ASSERT_EQ(user()->setValue(grandchild, dword(L"v", 1)), ERROR_SUCCESS);
  ASSERT_EQ(user()->deleteTree(L"p"), ERROR_SUCCESS);
  StoreValue v;
  std::vector<std::wstring> names;
  std::vector<StoreValue> values;
  for (KeyId id : {child, grandchild}) {
    EXPECT_EQ(user()->getValue(id, L"v", v), ERROR_KEY_DELETED);
    EXPECT_EQ(user()->setValue(id, dword(L"v", 2)), ERROR_KEY_DELETED);
    EXPECT_EQ(user()->deleteValue(id, L"v"), ERROR_KEY_DELETED);
    EXPECT_EQ(user()->subkeys(id, names), ERROR_KEY_DELETED);
    EXPECT_EQ(user()->values(id, values), ERROR_KEY_DELETED);
  }
  // A key made again at the same path is a new key; the old handle stays dead.
  EXPECT_NE(create(L"P\\C"), child);
  EXPECT_EQ(user()->setValue(child, dword(L"v", 2)), ERROR_KEY_DELETED);
  EXPECT_EQ(user()->deleteTree(L"P\\Missing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(StoreTest, DeletingTheRootEmptiesTheHive) {
  ASSERT_EQ(user()->setValue(create(L"A"), dword(L"v", 1)), ERROR_SUCCESS);
  KeyId root = create(L"");
  ASSERT_EQ(user()->setValue(root, dword(L"top", 1)), ERROR_SUCCESS);
  ASSERT_EQ(user()->deleteTree(L""), ERROR_SUCCESS);
  std::vector<std::wstring> names;
  std::vector<StoreValue> values;
  EXPECT_EQ(user()->subkeys(root, names), ERROR_SUCCESS);
  EXPECT_EQ(user()->values(root, values), ERROR_SUCCESS);
  EXPECT_TRUE(names.empty() && values.empty());
  EXPECT_EQ(user()->setValue(root, dword(L"top", 2)), ERROR_SUCCESS);
}

TEST_F(StoreTest, ABatchAppliesWhollyOrNotAtAll) {
  ASSERT_EQ(user()->apply({{StoreChange::SetValue, L"K", dword(L"keep", 1)}}), ERROR_SUCCESS);
  std::vector<StoreChange> bad = {
      {StoreChange::DeleteTree, L"K", {}},
      {StoreChange::SetValue, L"New", dword(L"a", 1)},
      {StoreChange::SetValue, L"New", dword(std::wstring(L"\0", 1), 1)},
  };
  EXPECT_EQ(user()->apply(bad), ERROR_INVALID_PARAMETER);
  KeyId id;
  EXPECT_EQ(user()->openKey(L"New", id), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(user()->openKey(L"K", id), ERROR_SUCCESS);
  StoreValue v;
  EXPECT_EQ(user()->getValue(id, L"keep", v), ERROR_SUCCESS);
}

TEST_F(StoreTest, ReadOnlyMachineHiveRefusesWritesAndIsLeftAlone) {
  KeyId id;
  ASSERT_EQ(openHive(HKEY_LOCAL_MACHINE)->createKey(L"Software\\M", id), ERROR_SUCCESS);
  ASSERT_EQ(openHive(HKEY_LOCAL_MACHINE)->setValue(id, dword(L"v", 3)), ERROR_SUCCESS);
  const std::string before = readFile(machineHive_);
  setenv("KVPAL_MACHINE_HIVE_READONLY", "1", 1);
  auto ro = openHive(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(hiveInfo(HKEY_LOCAL_MACHINE).readOnly);
  EXPECT_EQ(ro->createKey(L"Software\\Other", id), ERROR_ACCESS_DENIED);
  ASSERT_EQ(ro->openKey(L"software\\m", id), ERROR_SUCCESS);
  EXPECT_EQ(ro->setValue(id, dword(L"v", 4)), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ro->deleteTree(L"Software"), ERROR_ACCESS_DENIED);
  StoreValue v;
  EXPECT_EQ(ro->getValue(id, L"v", v), ERROR_SUCCESS);
  EXPECT_EQ(v.data, dword(L"", 3).data);
  EXPECT_EQ(readFile(machineHive_), before);
  // The user hive is not affected by the machine setting.
  EXPECT_FALSE(hiveInfo(HKEY_CURRENT_USER).readOnly);
}

// Fills the file system holding `path` up, then gives back `freeBytes`.
bool fillLeaving(const std::string& path, off_t freeBytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::vector<char> chunk(4096, 'f');
  off_t size = 0;
  for (ssize_t n; (n = write(fd, chunk.data(), chunk.size())) > 0;) size += n;
  bool ok = errno == ENOSPC && size >= freeBytes && ftruncate(fd, size - freeBytes) == 0;
  close(fd);
  return ok;
}

TEST_F(StoreTest, CreatingAHiveOnAFullDiskLeavesNoneOrAWholeOne) {
  constexpr int kCannotMount = 77;
  const std::string fs = dir_ + "/small";
  std::filesystem::create_directories(fs);
  // In a private mount namespace, so the small file system goes with the child.
  int rc = runInChild([&]() -> int {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", fs.c_str(), "tmpfs", 0, "size=256k") != 0)
      return kCannotMount;
    const std::string folder = fs + "/h", hive = folder + "/u.db";
    setenv("KVPAL_USER_HIVE", hive.c_str(), 1);
    bool refused = false, made = false;
    for (int freeKiB = 0; freeKiB <= 128; freeKiB += 4) {
      if (!fillLeaving(fs + "/filler", freeKiB * 1024)) return 1;
      int attempt = runInChild([] {
        auto hive = openHive(HKEY_CURRENT_USER);
        KeyId id;
        unsigned rc = hive->createKey(L"A", id);
        if (!rc) rc = hive->setValue(id, dword(L"a", 1));
        return rc == ERROR_SUCCESS ? 0 : rc == ERROR_DISK_FULL ? 1 : 2;
      });
      if (attempt == 2) return 150 + freeKiB / 4;  // failed, but not for the full disk
      (attempt ? refused : made) = true;
      unlink((fs + "/filler").c_str());
      // No temporary file is left behind...
      std::error_code ec;
      for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.path().filename().string().find(".new-") != std::string::npos) return 100 + freeKiB / 4;
      // ... and a hive left in place takes writes and reads them back.
      if (fileExists(hive) && runInChild([] {
                                auto hive = openHive(HKEY_CURRENT_USER);
                                KeyId id;
                                StoreValue v;
                                if (hive->createKey(L"B", id) || hive->setValue(id, dword(L"b", 2))) return 1;
                                return hive->getValue(id, L"b", v) == ERROR_SUCCESS ? 0 : 1;
                              }) != 0)
        return 200 + freeKiB / 4;
      std::filesystem::remove_all(folder);
    }
    return refused && made ? 0 : 2;
  });
  if (rc == kCannotMount) GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
  EXPECT_EQ(rc, 0) << "100+n: a temporary file left with n*4 KiB free; 150+n: another error than a full "
                      "disk; 200+n: an unusable hive left; 2: the free space never made the write fail";
}

TEST_F(StoreTest, HivesThisProcessMayNotWriteAreStillRead) {
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  auto setIn = [](HKEY root, const wchar_t* name, unsigned v) {
    KeyId id;
    auto hive = openHive(root);
    unsigned rc = hive->createKey(L"Software\\R", id);
    return rc ? rc : hive->setValue(id, dword(name, v));
  };
  // As the last writer's process leaves a hive when it ends cleanly: the
  // last connection's close folds a WAL in and removes the -wal and -shm.
  auto closeCleanly = [](const std::string& path) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, "SELECT count(*) FROM keys", nullptr, nullptr, nullptr) == SQLITE_OK;
    return sqlite3_close(db) == SQLITE_OK && ok;
  };
  // The machine hive as an older version left it: in WAL mode. Its next
  // writer switches it to a rollback journal.
  ASSERT_EQ(runInChild([&] { return static_cast<int>(setIn(HKEY_LOCAL_MACHINE, L"a", 1)); }), 0);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(machineHive_.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  ASSERT_EQ(sqlText(machineHive_, "PRAGMA journal_mode"), "wal");
  ASSERT_EQ(runInChild([&] { return static_cast<int>(setIn(HKEY_LOCAL_MACHINE, L"a", 1)); }), 0);
  EXPECT_EQ(sqlText(machineHive_, "PRAGMA journal_mode"), "delete");
  // So no -shm file is left for a reader to share, whoever wrote last.
  EXPECT_FALSE(fileExists(machineHive_ + "-shm"));
  ASSERT_TRUE(closeCleanly(machineHive_));
  // A read-only user hive in a read-only folder, with no -shm file beside
  // it, owned by the reader.
  ASSERT_EQ(runInChild([&] { return static_cast<int>(setIn(HKEY_CURRENT_USER, L"b", 2)); }), 0);
  ASSERT_TRUE(closeCleanly(userHive_));
  ASSERT_FALSE(fileExists(userHive_ + "-shm"));
  const std::string userDir = dir_ + "/user";
  ASSERT_EQ(chown(userHive_.c_str(), 65534, 65534) | chown(userDir.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(userHive_.c_str(), 0444) | chmod(userDir.c_str(), 0555), 0);

  // The reader runs as nobody. Between its rounds this process (root)
  // writes both hives, and the reader must see the new values: first with
  // the user hive's writer gone again (its WAL folded into the file), then
  // with the writer still connected (its WAL and -shm beside the file).
  constexpr unsigned kMachine[] = {1, 3, 5}, kUser[] = {2, 4, 6};
  int toParent[2], toChild[2];
  ASSERT_EQ(pipe(toParent) | pipe(toChild), 0);
  pid_t pid = fork();
  if (pid == 0) {
    alarm(60);
    close(toParent[0]);
    close(toChild[1]);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(90);
    auto read = [](HKEY root, const wchar_t* name, unsigned expected) {
      KeyId id;
      StoreValue v;
      auto hive = openHive(root);
      return hive->openKey(L"Software\\R", id) == ERROR_SUCCESS &&
             hive->getValue(id, name, v) == ERROR_SUCCESS && v.data == dword(L"", expected).data;
    };
    for (int round = 0; round < 3; ++round) {
      // Each read twice: the second is the one a cache would answer.
      for (int i = 0; i < 2; ++i) {
        if (!read(HKEY_LOCAL_MACHINE, L"a", kMachine[round])) _exit(10 + round);
        if (!read(HKEY_CURRENT_USER, L"b", kUser[round])) _exit(20 + round);
      }
      if (setIn(HKEY_LOCAL_MACHINE, L"a", 9) != ERROR_ACCESS_DENIED) _exit(30 + round);
      if (setIn(HKEY_CURRENT_USER, L"b", 9) != ERROR_ACCESS_DENIED) _exit(40 + round);
      char c = 0;
      if (round < 2 && (write(toParent[1], &c, 1) != 1 || ::read(toChild[0], &c, 1) != 1)) _exit(50);
    }
    _exit(0);
  }
  close(toParent[1]);
  close(toChild[0]);
  ASSERT_GT(pid, 0);
  char c = 0;
  for (int round = 1; round < 3 && read(toParent[0], &c, 1) == 1; ++round) {
    EXPECT_EQ(setIn(HKEY_LOCAL_MACHINE, L"a", kMachine[round]), ERROR_SUCCESS);
    if (round == 1) {
      EXPECT_EQ(runInChild([&] { return static_cast<int>(setIn(HKEY_CURRENT_USER, L"b", kUser[round])); }),
                0);
      EXPECT_TRUE(closeCleanly(userHive_));
    } else {
      EXPECT_EQ(setIn(HKEY_CURRENT_USER, L"b", kUser[round]), ERROR_SUCCESS);
    }
    EXPECT_EQ(write(toChild[1], &c, 1), 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  close(toParent[0]);
  close(toChild[1]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "reader status " << status << " (1x machine read, 2x user read, 3x/4x a write not refused, "
      << "x = round)";
}

TEST_F(StoreTest, DamagedHiveIsReportedAndNotTouched) {
  ASSERT_EQ(user()->apply({{StoreChange::SetValue, L"K", dword(L"v", 1)}}), ERROR_SUCCESS);
  // Checkpoint the WAL so the pages below are in the main file, then ruin
  // every page after the header page.
  ASSERT_EQ(sqlText(userHive_, "PRAGMA integrity_check"), "ok");
  {
    sqlite3* db = nullptr;
    sqlite3_open(userHive_.c_str(), &db);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  std::string bytes = readFile(userHive_);
  ASSERT_GT(bytes.size(), 4096u);
  for (size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0xA5);
  // A copy, so no connection of this process has the good pages cached.
  const std::string damaged = dir_ + "/damaged.db";
  writeFile(damaged, bytes);
  setenv("KVPAL_USER_HIVE", damaged.c_str(), 1);
  auto hive = openHive(HKEY_CURRENT_USER);
  KeyId id;
  EXPECT_EQ(hive->openKey(L"K", id), ERROR_BADDB);
  EXPECT_EQ(hive->createKey(L"Other", id), ERROR_BADDB);
  EXPECT_EQ(readFile(damaged), bytes);
}

// Both hives: the user hive's cache follows the WAL index, the machine
// hive's the change counter of its rollback-journal file.
TEST_F(StoreTest, RepeatedReadsSeeAnotherProcesssWriteAtOnce) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    SCOPED_TRACE(root);
    auto hive = [root] { return openHive(root); };
    KeyId id;
    ASSERT_EQ(hive()->createKey(L"Watched", id), ERROR_SUCCESS);
    ASSERT_EQ(hive()->setValue(id, dword(L"v", 1)), ERROR_SUCCESS);
    // Each step: another process changes the value, then this one reads it
    // twice (the second read is the one an in-process cache would answer).
    struct Step {
      const char* what;
      std::function<unsigned(SettingsHive&)> change;
      unsigned rc;
      unsigned value;
    } steps[] = {
        {"rewrite",
         [](SettingsHive& h) {
           KeyId k;
           return h.createKey(L"Watched", k) ? 1 : h.setValue(k, dword(L"v", 2));
         },
         ERROR_SUCCESS, 2},
        {"same size again",
         [](SettingsHive& h) {
           KeyId k;
           return h.createKey(L"Watched", k) ? 1 : h.setValue(k, dword(L"v", 3));
         },
         ERROR_SUCCESS, 3},
        {"delete value",
         [](SettingsHive& h) {
           KeyId k;
           return h.openKey(L"Watched", k) ? 1 : h.deleteValue(k, L"v");
         },
         ERROR_FILE_NOT_FOUND, 0},
        {"delete key", [](SettingsHive& h) { return h.deleteTree(L"Watched"); }, ERROR_KEY_DELETED, 0},
    };
    for (const auto& step : steps) {
      SCOPED_TRACE(step.what);
      for (int i = 0; i < 2; ++i) {
        StoreValue v;
        hive()->getValue(id, L"v", v);
      }
      ASSERT_EQ(runInChild([&] { return static_cast<int>(step.change(*openHive(root))); }), 0);
      for (int i = 0; i < 2; ++i) {
        StoreValue v;
        EXPECT_EQ(hive()->getValue(id, L"v", v), step.rc);
        if (step.rc == ERROR_SUCCESS) {
          EXPECT_EQ(v.data, dword(L"", step.value).data);
        }
      }
    }
  }
}

TEST_F(StoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kPerWriter = 150;
  auto writer = [&](int which) {
    return [=]() {
      auto hive = openHive(HKEY_CURRENT_USER);
      for (int i = 0; i < kPerWriter; ++i) {
        // Both writers also create the same keys, racing on each one.
        std::wstring shared = L"Shared\\K" + std::to_wstring(i % 10);
        KeyId id;
        if (hive->createKey(shared, id)) return 1;
        if (hive->setValue(id, dword(L"w" + std::to_wstring(which) + L"_" + std::to_wstring(i), i))) return 2;
      }
      return 0;
    };
  };
  // Both children start before either is waited for.
  pid_t pids[2];
  for (int w = 0; w < 2; ++w) {
    pids[w] = fork();
    if (pids[w] == 0) {
      alarm(60);
      _exit(writer(w)());
    }
    ASSERT_GT(pids[w], 0);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer status " << status;
  }
  std::set<std::wstring> all;
  std::vector<std::wstring> keys;
  KeyId sharedId;
  ASSERT_EQ(user()->openKey(L"Shared", sharedId), ERROR_SUCCESS);
  ASSERT_EQ(user()->subkeys(sharedId, keys), ERROR_SUCCESS);
  EXPECT_EQ(keys.size(), 10u);
  for (const auto& k : keys) {
    KeyId id;
    std::vector<StoreValue> values;
    ASSERT_EQ(user()->openKey(L"Shared\\" + k, id), ERROR_SUCCESS);
    ASSERT_EQ(user()->values(id, values), ERROR_SUCCESS);
    for (const auto& v : values) all.insert(v.name);
  }
  EXPECT_EQ(all.size(), 2u * kPerWriter);
  EXPECT_EQ(sqlText(userHive_, "PRAGMA integrity_check"), "ok");
}

TEST_F(StoreTest, KilledWriterLeavesEveryAcknowledgedValue) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  if (pid == 0) {
    alarm(60);
    close(fds[0]);
    auto hive = openHive(HKEY_CURRENT_USER);
    KeyId id;
    if (hive->createKey(L"Stream", id)) _exit(1);
    for (unsigned i = 0;; ++i) {
      if (hive->setValue(id,
                         {L"v" + std::to_wstring(i), REG_BINARY, std::vector<unsigned char>(512, i & 0xFF)}))
        _exit(2);
      if (write(fds[1], &i, sizeof i) != sizeof i) _exit(3);
    }
  }
  ASSERT_GT(pid, 0);
  close(fds[1]);
  // Kill the writer at some point after its 200th acknowledged write.
  unsigned last = 0, got = 0;
  pollfd p{fds[0], POLLIN, 0};
  while (got < 200 && poll(&p, 1, 30000) == 1 && read(fds[0], &last, sizeof last) == sizeof last) ++got;
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  close(fds[0]);
  ASSERT_EQ(got, 200u) << "the writer stopped early, status " << status;
  ASSERT_TRUE(WIFSIGNALED(status));

  EXPECT_EQ(sqlText(userHive_, "PRAGMA integrity_check"), "ok");
  KeyId id;
  ASSERT_EQ(user()->openKey(L"Stream", id), ERROR_SUCCESS);
  for (unsigned i = 0; i <= last; ++i) {
    StoreValue v;
    ASSERT_EQ(user()->getValue(id, L"v" + std::to_wstring(i), v), ERROR_SUCCESS) << "value " << i;
    EXPECT_EQ(v.data, std::vector<unsigned char>(512, i & 0xFF));
  }
}

}  // namespace
