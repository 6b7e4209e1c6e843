// The assertion prompt on the controlling terminal.
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "base/utf8.h"
#include "diagnostics/assert_choice.h"
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

bool writeAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t n = retryOnEintr(::write, fd, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// One answer line; false at end of input.
bool readLine(int fd, std::string& line) {
  line.clear();
  for (char c;;) {
    ssize_t n = retryOnEintr(::read, fd, &c, 1);
    if (n <= 0) return !line.empty();
    if (c == '\n' || c == '\r') return true;
    line += c;
  }
}

}  // namespace

AssertChoice askOnTerminal(const std::wstring& caption, const std::wstring& message) {
  int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return AssertChoice::Unavailable;
  AssertChoice choice = AssertChoice::Unavailable;
  std::string text = "\n" + wideToUtf8(caption) + "\n" + wideToUtf8(message) + "\n";
  const std::string prompt = "(a)bort, (r)etry, (i)gnore, (I)gnore always? ";
  std::string answer;
  if (writeAll(fd, text)) {
    while (writeAll(fd, prompt) && readLine(fd, answer)) {
      if (answer == "a" || answer == "A")
        choice = AssertChoice::Abort;
      else if (answer == "r" || answer == "R")
        choice = AssertChoice::Retry;
      else if (answer == "i")
        choice = AssertChoice::Ignore;
      else if (answer == "I")
        choice = AssertChoice::IgnoreWithShift;
      else
        continue;
      break;
    }
  }
  ::close(fd);
  return choice;
}

}  // namespace Halvex::Tessaran::PAL::detail
