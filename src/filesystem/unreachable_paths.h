// The process-wide table of network paths on which a system call recently
// failed slowly, with the clocks and call hook the network-aware queries use.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Seams for tests, so that a slow failure needs no real waiting.
struct NetworkAwareSeams {
  std::function<std::int64_t()> wallSeconds;  // whole seconds since 1970
  std::function<std::uint64_t()> tickMs;      // monotonic milliseconds
  // Runs where a timed system call starts; a non-zero errno makes the call
  // fail with it without being made.
  std::function<int(std::string_view operation)> beforeCall;
};

// Installs `seams` (empty members: the real clocks, no hook) and empties the
// table.
void setNetworkAwareSeams(NetworkAwareSeams seams);

std::int64_t wallSeconds();
std::uint64_t tickMs();
// 0, or the errno the hook injects for `operation`.
int injectedFailure(std::string_view operation);

// Only such paths are looked up or marked: longer than two characters and on
// a network mount or starting with two separators.
bool isTablePath(const wchar_t* path);

// Whether `path` is marked for `operation`; an expired entry is dropped.
bool isMarked(std::wstring_view operation, const wchar_t* path);
void mark(std::wstring_view operation, const wchar_t* path);

}  // namespace Halvex::Tessaran::PAL::detail
