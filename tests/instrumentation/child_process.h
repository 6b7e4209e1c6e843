// Test helper: runs a program in a child process under a time limit and
// captures its standard output and exit status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace kvpal::test {

struct ChildResult {
  int exitCode = -1;  // 128 + signal when a signal ended it; 124 on time-out
  std::string out;
};

struct StartedChild {
  pid_t pid = -1;
  int out = -1;  // read end of its standard output
};

// Starts argv with the extra environment entries, its standard output on a
// pipe; the caller reads, closes and waits.
inline StartedChild startChild(std::vector<std::string> argv,
                               const std::vector<std::pair<std::string, std::string>>& env = {}) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  return {pid, fds[0]};
}

// Runs argv with the extra environment entries under coreutils' timeout.
inline ChildResult runChild(const std::vector<std::string>& argv,
                            const std::vector<std::pair<std::string, std::string>>& env = {},
                            int timeLimitSeconds = 60) {
  std::vector<std::string> full = {"/usr/bin/timeout", "--kill-after=5", std::to_string(timeLimitSeconds)};
  full.insert(full.end(), argv.begin(), argv.end());
  auto [pid, out] = startChild(full, env);
  if (pid < 0) return {};
  ChildResult r;
  char buf[4096];
  for (ssize_t n; (n = read(out, buf, sizeof buf)) > 0;) r.out.append(buf, static_cast<std::size_t>(n));
  close(out);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

}  // namespace kvpal::test
