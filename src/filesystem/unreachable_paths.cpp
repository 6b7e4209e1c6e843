// The unreachable-path table: entries live 30 seconds from their writing and
// are dropped by the lookup that finds them expired.
#include "filesystem/unreachable_paths.h"

#include <chrono>
#include <cwchar>
#include <map>
#include <mutex>

#include "pal/file_system.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

struct Entry {
  std::int32_t lifetimeMs;  // -1: never expires
  std::int64_t stamp;       // wall-clock seconds at writing
  std::uint64_t value;
};

using PathMap = std::map<std::wstring, Entry, std::less<>>;

struct State {
  std::mutex lock;
  std::map<std::wstring, PathMap, std::less<>> table;
  NetworkAwareSeams seams;
};

State& state() {
  static State s;
  return s;
}

constexpr std::int32_t kLifetimeMs = 30000;

// A copy, so that the seam runs outside the lock.
template <typename Function>
Function seam(Function NetworkAwareSeams::*member) {
  State& s = state();
  std::lock_guard guard(s.lock);
  return s.seams.*member;
}

}  // namespace

void setNetworkAwareSeams(NetworkAwareSeams seams) {
  State& s = state();
  std::lock_guard guard(s.lock);
  s.seams = std::move(seams);
  s.table.clear();
}

std::int64_t wallSeconds() {
  if (const auto clock = seam(&NetworkAwareSeams::wallSeconds)) return clock();
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::uint64_t tickMs() {
  if (const auto clock = seam(&NetworkAwareSeams::tickMs)) return clock();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int injectedFailure(std::string_view operation) {
  const auto hook = seam(&NetworkAwareSeams::beforeCall);
  return hook ? hook(operation) : 0;
}

bool isTablePath(const wchar_t* path) {
  return path && std::wcslen(path) > 2 && FileSystem::isPathNetworkPath(path);
}

bool isMarked(std::wstring_view operation, const wchar_t* path) {
  const std::int64_t now = wallSeconds();
  State& s = state();
  std::lock_guard guard(s.lock);
  const auto op = s.table.find(operation);
  if (op == s.table.end()) return false;
  const auto entry = op->second.find(std::wstring_view(path));
  if (entry == op->second.end()) return false;
  if (entry->second.lifetimeMs != -1 && (now - entry->second.stamp) * 1000 > entry->second.lifetimeMs) {
    op->second.erase(entry);
    return false;
  }
  return true;
}

void mark(std::wstring_view operation, const wchar_t* path) {
  const std::int64_t now = wallSeconds();
  State& s = state();
  std::lock_guard guard(s.lock);
  auto op = s.table.find(operation);
  if (op == s.table.end()) op = s.table.emplace(std::wstring(operation), PathMap()).first;
  op->second.insert_or_assign(std::wstring(path), Entry{kLifetimeMs, now, 1});
}

}  // namespace Halvex::Tessaran::PAL::detail
