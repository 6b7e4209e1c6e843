// A private Xvfb server for tests of X11 windows, on a display number it
// picks itself; -noreset keeps it from resetting, and refusing connections
// meanwhile, whenever its last client leaves.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/child_process.h"

namespace kvpal::test {

class VirtualDisplay {
 public:
  // `screen` is Xvfb's WIDTHxHEIGHTxDEPTH; `options` go to Xvfb as well.
  explicit VirtualDisplay(const std::string& screen = "1024x768x24", std::vector<std::string> options = {}) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      std::vector<std::string> args = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                       "-nolisten", "tcp",        "-noreset",
                                       "-screen",   "0",          screen};
      args.insert(args.end(), options.begin(), options.end());
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execvp("Xvfb", argv.data());
      _exit(127);
    }
    close(fds[1]);
    std::string number = readFrom(fds[0], "\n", 20);
    close(fds[0]);
    if (!number.empty() && number.back() == '\n') name_ = ":" + number.substr(0, number.size() - 1);
  }
  ~VirtualDisplay() { stop(); }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Empty when the server could not be started.
  const std::string& name() const { return name_; }

  // Ends the server, as a desktop session ending would.
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace kvpal::test
