// Test helper run as a copied executable: reports one assertion per
// argument (its index as the line) and prints the dialog switch and the
// number of assertion events written.
#include <cstdio>
#include <string>

#include "base/utf8.h"
#include "pal/diagnostics.h"
#include "pal/trace_session.h"

int main(int argc, char** argv) {
  int events = 0;
  Halvex::Tessaran::PAL::Trace::Session session(0, 0, [&](const auto& r) { events += r.id == 45; });
  for (int i = 1; i < argc; ++i) {
    std::wstring expression = Halvex::Tessaran::PAL::detail::utf8ToWide(argv[i]);
    kvutAssertMessage(expression.c_str(), L"child.cpp", i, nullptr);
  }
  std::printf("dialog=%d events=%d\n", kvutGetAssertDia() ? 1 : 0, events);
  return 0;
}
