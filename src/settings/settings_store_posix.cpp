// Where the settings hives live, and one connection per hive file and
// process.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "base/user_account.h"
#include "settings/hive_sqlite.h"
#include "settings/settings_store.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

bool isTrue(const char* v) {
  return v && *v && std::string_view(v) != "0";
}

std::string configHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  // A relative HOME, like a relative XDG_CONFIG_HOME, would put the hive
  // wherever the process happens to run.
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config";
  if (auto account = userAccount(getuid()); account && !account->home.empty())
    return account->home + "/.config";
  return "/tmp";
}

// A relative override is taken against the folder current when it is first
// seen, so a later chdir does not move the hive.
std::string absoluteOverride(const char* path) {
  if (path[0] == '/') return path;
  static std::mutex mu;
  static std::map<std::string, std::string> resolved;
  std::lock_guard lock(mu);
  auto [it, added] = resolved.try_emplace(path);
  if (added) {
    char* cwd = getcwd(nullptr, 0);
    it->second = cwd ? std::string(cwd) + "/" + path : path;
    free(cwd);
  }
  return it->second;
}

std::string hivePath(HKEY root) {
  if (root == HKEY_CURRENT_USER) {
    const char* over = std::getenv("KVPAL_USER_HIVE");
    return over && *over ? absoluteOverride(over) : configHome() + "/halvex/settings.db";
  }
  const char* over = std::getenv("KVPAL_MACHINE_HIVE");
  return over && *over ? absoluteOverride(over) : "/var/lib/halvex/settings.db";
}

bool hiveReadOnly(HKEY root) {
  return root == HKEY_LOCAL_MACHINE && isTrue(std::getenv("KVPAL_MACHINE_HIVE_READONLY"));
}

struct CachedHive {
  std::shared_ptr<SettingsHive> hive;
  pid_t pid;
  dev_t dev;
  ino_t ino;
};

}  // namespace

std::shared_ptr<SettingsHive> openHive(HKEY root) {
  if (root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE) return nullptr;
  std::string path = hivePath(root);
  bool readOnly = hiveReadOnly(root);
  struct stat sb {};
  if (stat(path.c_str(), &sb) != 0) sb = {};

  static std::mutex mu;
  static std::map<std::pair<std::string, bool>, CachedHive> cache;
  std::lock_guard lock(mu);
  auto& slot = cache[{path, readOnly}];
  // A connection is kept per file and process: reopening costs far more
  // than a read. A hive replaced on disk (or inherited over fork, where a
  // SQLite connection must not be used) gets a fresh connection.
  if (slot.hive && slot.pid == getpid() && slot.dev == sb.st_dev && slot.ino == sb.st_ino) return slot.hive;
  if (slot.hive && slot.pid != getpid())
    new std::shared_ptr<SettingsHive>(std::move(slot.hive));  // never close the parent's connection
  slot = {openSqliteHive(path, readOnly, root == HKEY_CURRENT_USER), getpid(), sb.st_dev, sb.st_ino};
  return slot.hive;
}

HiveInfo hiveInfo(HKEY root) {
  std::string path = hivePath(root);
  struct stat sb;
  bool exists = stat(path.c_str(), &sb) == 0;
  return {path, exists, hiveReadOnly(root)};
}

}  // namespace Halvex::Tessaran::PAL::detail
