// kvpal trace: the performance event provider's manifest, and recording a
// command's events into a Chrome trace-event file.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "base/json_string.h"
#include "command.h"
#include "instrumentation/chrome_trace.h"
#include "instrumentation/trace_file_session.h"
#include "options.h"
#include "pal/trace_session.h"

namespace {

namespace detail = Halvex::Tessaran::PAL::detail;
constexpr const char* kName = "trace";

int runManifest(const kvpal::Args& args) {
  kvpal::Options o;
  if (int rc = kvpal::parseOptionsOnly(kName, args, 1, {{"--output"}, {}}, o)) return rc;
  const std::string output = o.value("--output");
  std::string text = Halvex::Tessaran::PAL::Trace::providerManifest();
  if (output.empty()) {
    std::cout << text;
    return kvpal::kOk;
  }
  std::ofstream out(output, std::ios::binary);
  if (!(out << text) || !out.flush()) return kvpal::failure(kName, "cannot write " + output);
  return kvpal::kOk;
}

volatile sig_atomic_t gStopSignal = 0;
volatile sig_atomic_t gCommand = 0;  // the command's process id once started

// A request to stop the recorder goes on to the command, which the recorder
// then waits for so as to complete the file. One the kernel sent (the
// terminal's interrupt or hang-up) has reached the command's process group
// already, and the command's own status tells how it took it.
void forwardStop(int sig, siginfo_t* info, void*) {
  if (info->si_code == SI_KERNEL || gCommand <= 0) return;
  if (gStopSignal == 0) gStopSignal = sig;
  kill(static_cast<pid_t>(gCommand), sig);
}

constexpr int kStopSignals[] = {SIGTERM, SIGHUP, SIGINT};

bool isNumber(const std::string& s) {
  if (s.empty() || s[0] == '-') return false;
  char* end = nullptr;
  errno = 0;
  std::strtoull(s.c_str(), &end, 0);
  return errno == 0 && *end == '\0';
}

// The recorded command's status becomes ours: its exit code, or 128 plus
// the signal that ended it; when a process stopped us, 128 plus its signal.
int runRecord(const kvpal::Args& args) {
  kvpal::Options o;
  if (int rc = kvpal::parseOptionsOnly(kName, args, 1,
                                       {{"--output", "--level", "--keywords"}, {}, false, true}, o))
    return rc;
  const std::string output = o.value("--output"), level = o.value("--level"),
                    keywords = o.value("--keywords");
  if (output.empty()) return kvpal::usageError(kName, "record needs --output FILE");
  if (o.rest.empty()) return kvpal::usageError(kName, "record needs '-- COMMAND [ARGS...]'");
  if (!level.empty() && (!isNumber(level) || std::strtoull(level.c_str(), nullptr, 0) > 255))
    return kvpal::usageError(kName, "--level takes a number from 0 to 255");
  if (!keywords.empty() && !isNumber(keywords))
    return kvpal::usageError(kName, "--keywords takes a number (0x... for hexadecimal)");

  {
    std::ofstream f(output, std::ios::binary | std::ios::trunc);
    if (!(f << detail::kChromeTraceOpening) || !f.flush())
      return kvpal::failure(kName, "cannot write " + output);
  }
  char* absolute = realpath(output.c_str(), nullptr);
  std::string path = absolute ? absolute : output;
  std::free(absolute);

  std::vector<char*> argv;
  for (const std::string& word : o.rest) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  // Stop requests wait until the command's id is known, so none is lost.
  sigset_t stops, previousMask;
  sigemptyset(&stops);
  struct sigaction forward {};
  forward.sa_sigaction = forwardStop;
  forward.sa_flags = SA_SIGINFO;
  sigemptyset(&forward.sa_mask);
  for (int sig : kStopSignals) {
    sigaddset(&stops, sig);
    sigaddset(&forward.sa_mask, sig);
  }
  sigprocmask(SIG_BLOCK, &stops, &previousMask);
  for (int sig : kStopSignals) sigaction(sig, &forward, nullptr);
  std::signal(SIGQUIT, SIG_IGN);
  const pid_t recorder = getpid();
  pid_t child = fork();
  if (child < 0) {
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    return kvpal::failure(kName, std::string("cannot start the command: ") + std::strerror(errno));
  }
  if (child == 0) {
    for (int sig : kStopSignals) std::signal(sig, SIG_DFL);
    std::signal(SIGQUIT, SIG_DFL);
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    // Killed outright, the recorder takes the command with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != recorder) _exit(128 + SIGKILL);
    setenv(detail::kTraceFileVariable, path.c_str(), 1);
    if (!level.empty()) setenv(detail::kTraceLevelVariable, level.c_str(), 1);
    if (!keywords.empty()) setenv(detail::kTraceKeywordsVariable, keywords.c_str(), 1);
    execvp(argv[0], argv.data());
    std::cerr << "kvpal trace: cannot run " << argv[0] << ": " << std::strerror(errno) << "\n";
    _exit(127);
  }
  gCommand = child;
  sigprocmask(SIG_SETMASK, &previousMask, nullptr);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  std::string name = o.rest.front();
  std::string closing = "{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":" + std::to_string(child) +
                        ",\"args\":{\"name\":" + detail::jsonString(name, detail::JsonText::Ascii) + "}}";
  std::string error;
  if (!detail::finishChromeTrace(path, closing, &error)) return kvpal::failure(kName, error);
  if (gStopSignal != 0) {
    std::cerr << "kvpal trace: stopped by signal " << gStopSignal << "\n";
    return 128 + gStopSignal;
  }
  if (WIFSIGNALED(status)) {
    std::cerr << "kvpal trace: " << name << " ended by signal " << WTERMSIG(status) << "\n";
    return 128 + WTERMSIG(status);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : kvpal::kFailed;
}

int runTrace(const kvpal::Args& args) {
  if (args.empty()) return kvpal::usageError(kName, "missing subcommand (manifest or record)");
  if (args[0] == "manifest") return runManifest(args);
  if (args[0] == "record") return runRecord(args);
  return kvpal::usageError(kName, "unknown subcommand '" + args[0] + "'");
}

}  // namespace

KVPAL_COMMAND(
    "trace", "print the event manifest, or record a command's performance events",
    "usage: kvpal trace manifest [--output FILE]\n"
    "       kvpal trace record [--level N] [--keywords MASK] --output FILE -- COMMAND [ARGS...]\n\n"
    "manifest  prints the event manifest of the \"Halvex-Tessaran\" provider (or writes it to FILE).\n"
    "record    runs COMMAND with a trace file session attached and writes its events to FILE in\n"
    "          the Chrome trace-event JSON format (open it in the Perfetto UI or chrome://tracing).\n"
    "          --level admits events up to that level (0, the default, admits all); --keywords\n"
    "          admits events sharing a keyword bit with MASK (0, the default, admits all).\n"
    "          The file is completed even when COMMAND ends abruptly. SIGTERM, SIGHUP and SIGINT\n"
    "          that a process sends the recorder go on to COMMAND; the recorder waits for it,\n"
    "          completes the file and exits with 128 plus that signal. Killed outright, the\n"
    "          recorder takes COMMAND with it. Otherwise the exit status is COMMAND's, or 128\n"
    "          plus the signal that ended it.\n",
    runTrace);
