// The tests' one way to start a process: a body in a forked child (a new
// session without a terminal, or on a pseudo-terminal) or a program, always
// under a time limit.
#pragma once

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kvpal::test {

struct ChildOutcome {
  int exitCode = -1;   // -1 when a signal ended the child
  int signal = 0;      // SIGALRM when a forked body's time limit ran out
  int traps = 0;       // SIGTRAP stops seen as the child's tracer
  std::string output;  // what the child wrote (see each runner), or the terminal's text
};

// A child that made its parent its tracer stops at each signal; SIGTRAP
// is counted and swallowed, as a debugger would, the others delivered.
inline ChildOutcome waitChild(pid_t pid, std::string output) {
  ChildOutcome r;
  r.output = std::move(output);
  int status = 0;
  while (waitpid(pid, &status, 0) == pid && WIFSTOPPED(status)) {
    int sig = WSTOPSIG(status);
    if (sig == SIGTRAP) ++r.traps;
    ptrace(PTRACE_CONT, pid, nullptr, sig == SIGTRAP ? 0 : sig);
  }
  if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  return r;
}

// Reads until end of input, or until `until` appears in the text read
// (empty: only end of input), or the time runs out.
inline std::string readFrom(int fd, const std::string& until = {}, int seconds = 10) {
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (until.empty() || text.find(until) == std::string::npos) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[1024];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

// The child has no controlling terminal and no DISPLAY unless the body
// sets one; its exit code is the body's result, its output what it wrote to
// standard output and error.
inline ChildOutcome runInChild(const std::function<int()>& body, int seconds = 20) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    unsetenv("DISPLAY");
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    alarm(static_cast<unsigned>(seconds));
    _exit(body());
  }
  close(fds[1]);
  // Waiting first lets a tracing parent resume the child; the pipe holds
  // the little it writes meanwhile.
  ChildOutcome r = waitChild(pid, {});
  r.output = readFrom(fds[0], {}, 2);
  close(fds[0]);
  return r;
}

// The child runs on a pseudo-terminal whose other side `converse` holds;
// what `converse` returns becomes the outcome's output.
inline ChildOutcome runOnTerminal(const std::function<int()>& body,
                                  const std::function<std::string(int)>& converse, int seconds = 20) {
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    unsetenv("DISPLAY");
    alarm(static_cast<unsigned>(seconds));
    _exit(body());
  }
  if (pid < 0) return {};
  std::string out = converse(master);
  ChildOutcome r = waitChild(pid, out);
  r.output += readFrom(master, {}, 2);
  close(master);
  return r;
}

struct StartedChild {
  pid_t pid = -1;
  int out = -1;  // read end of its standard output
};

// Starts argv (a path) with the extra environment entries, its standard
// output on a pipe; the caller reads, closes and waits. An alarm ends the
// program after `timeLimitSeconds` unless it handles SIGALRM itself.
inline StartedChild startChild(std::vector<std::string> argv,
                               const std::vector<std::pair<std::string, std::string>>& env = {},
                               int timeLimitSeconds = 60) {
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
    alarm(static_cast<unsigned>(timeLimitSeconds));
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  return {pid, fds[0]};
}

// Runs argv with the extra environment entries under coreutils' timeout,
// which ends the program's whole process group: exit code 124 when the time
// ran out. The output is the program's standard output; standard error
// stays the test's.
inline ChildOutcome runChild(const std::vector<std::string>& argv,
                             const std::vector<std::pair<std::string, std::string>>& env = {},
                             int timeLimitSeconds = 60) {
  std::vector<std::string> full = {"/usr/bin/timeout", "--kill-after=5", std::to_string(timeLimitSeconds)};
  full.insert(full.end(), argv.begin(), argv.end());
  // timeout's own alarm comes first; this one only ends a timeout that hangs.
  auto [pid, out] = startChild(full, env, timeLimitSeconds + 30);
  if (pid < 0) return {};
  std::string output;
  char buf[4096];
  for (ssize_t n; (n = read(out, buf, sizeof buf)) > 0;) output.append(buf, static_cast<std::size_t>(n));
  close(out);
  return waitChild(pid, std::move(output));
}

// A shell command line under the same time limit; its output holds standard
// output and error together.
inline ChildOutcome runShell(const std::string& command, int timeLimitSeconds = 60) {
  return runChild({"/bin/sh", "-c", "exec 2>&1; " + command}, {}, timeLimitSeconds);
}

}  // namespace kvpal::test
