// The environment's trace file session: Chrome trace-event records appended
// to a file, one write per record, so an abrupt end loses at most the record
// being written.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "instrumentation/chrome_trace.h"
#include "instrumentation/trace_file_session.h"
#include "pal/trace_session.h"
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// Unset or malformed values leave the filter open (0), with a word on
// standard error for the malformed ones.
unsigned long long numberFromEnvironment(const char* name, unsigned long long max) {
  const char* text = std::getenv(name);
  if (!text || !*text) return 0;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(text, &end, 0);
  if (errno || *end || v > max || *text == '-') {
    std::fprintf(stderr, "KvPal: ignoring %s=%s (not a number up to %llu)\n", name, text, max);
    return 0;
  }
  return v;
}

int openTraceFile(const char* path) {
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) {
    // A fresh file: this process starts the array.
    (void)!write(fd, kChromeTraceOpening.data(), kChromeTraceOpening.size());
    return fd;
  }
  if (errno == EEXIST) fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
  return fd;
}

void appendRecord(int fd, const Trace::EventRecord& record) {
  std::string line = chromeTraceEvent(record);
  line += ",\n";
  retryOnEintr(::write, fd, line.data(), line.size());
}

}  // namespace

void startFileSessionFromEnvironment() {
  const char* path = std::getenv(kTraceFileVariable);
  if (!path || !*path) return;
  int fd = openTraceFile(path);
  if (fd < 0) {
    std::fprintf(stderr, "KvPal: cannot open the trace file %s: %s\n", path, std::strerror(errno));
    return;
  }
  auto level = static_cast<std::uint8_t>(numberFromEnvironment(kTraceLevelVariable, 255));
  std::uint64_t keywords = numberFromEnvironment(kTraceKeywordsVariable, ~0ull);
  // Kept open until the process ends, so events written during exit still
  // reach the file.
  static Trace::Session* session =
      new Trace::Session(level, keywords, [fd](const Trace::EventRecord& r) { appendRecord(fd, r); });
  (void)session;
}

}  // namespace Halvex::Tessaran::PAL::detail
