// Process queries over /proc, getrusage and the boot-time clock.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/utf8.h"
#include "modules/module_names.h"
#include "pal/process.h"

namespace Halvex::Tessaran::PAL {

namespace {

// Calls `visit(pid)` for every process listed in /proc until it returns
// false; false when /proc cannot be listed.
template <typename Visit>
bool forEachProcess(Visit visit) {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  while (dirent* e = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(e->d_name, &end, 10);
    if (*e->d_name == '\0' || *end != '\0' || pid <= 0) continue;
    if (!visit(static_cast<pid_t>(pid))) break;
  }
  closedir(proc);
  return true;
}

std::string procFile(pid_t pid, const char* name) {
  return "/proc/" + std::to_string(pid) + "/" + name;
}

// Whether `pid` has the file with that identity mapped (its executable
// included); unreadable processes have nothing mapped as far as we can tell.
bool mapsFile(pid_t pid, const struct stat& file) {
  struct stat exe;
  if (stat(procFile(pid, "exe").c_str(), &exe) == 0 && exe.st_dev == file.st_dev && exe.st_ino == file.st_ino)
    return true;
  std::FILE* maps = std::fopen(procFile(pid, "maps").c_str(), "re");
  if (!maps) return false;
  bool found = false;
  char line[4096];
  while (!found && std::fgets(line, sizeof line, maps)) {
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(line, "%*s %*s %*s %x:%x %llu", &major, &minor, &inode) == 3)
      found = inode != 0 && inode == file.st_ino && makedev(major, minor) == file.st_dev;
  }
  std::fclose(maps);
  return found;
}

}  // namespace

std::wstring Process::getImagePath() {
  return detail::utf8ToWide(detail::executableFile());
}

bool Process::getKernelUserTimes(__int64& kernelSeconds, __int64& userSeconds) {
  rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return false;
  kernelSeconds = usage.ru_stime.tv_sec;
  userSeconds = usage.ru_utime.tv_sec;
  return true;
}

bool Process::getMultipleSessions() {
  struct stat self;
  if (stat("/proc/self/exe", &self) != 0) return false;
  int matches = 0;
  bool listed = forEachProcess([&](pid_t pid) {
    if (mapsFile(pid, self)) ++matches;
    return matches < 2;
  });
  return listed && matches >= 2;
}

void Process::terminateProcess(const char* imageName) {
  if (!imageName) _exit(1);
  const pid_t self = getpid();
  forEachProcess([&](pid_t pid) {
    if (pid == self) return true;
    char target[4096];
    ssize_t n = readlink(procFile(pid, "exe").c_str(), target, sizeof target - 1);
    if (n <= 0) return true;
    std::string_view exe(target, static_cast<size_t>(n));
    if (size_t slash = exe.rfind('/'); slash != std::string_view::npos) exe.remove_prefix(slash + 1);
    if (detail::executableFileNameMatches(imageName, exe)) kill(pid, SIGKILL);
    return true;
  });
}

void Process::adjustWorkingSet() {}

unsigned __int64 TickCount::getTickCount() {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<unsigned __int64>(now.tv_sec) * 1000u +
         static_cast<unsigned __int64>(now.tv_nsec) / 1000000u;
}

}  // namespace Halvex::Tessaran::PAL
