// The portable part of File: references, comparison, status, the last-error
// cell, mode mappings, and decoding of names, stream modes and times.
#include <cwchar>
#include <limits>
#include <utility>

#include "base/case_fold.h"
#include "base/path_text.h"
#include "filesystem/file_io_internal.h"
#include "filesystem/share_mode.h"
#include "pal/unicode_convert.h"
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL {

namespace {
thread_local unsigned tFileIoError = 0;
}  // namespace

void detail::beginFileOperation() {
  detail::setLastError(ERROR_SUCCESS);
  tFileIoError = ERROR_SUCCESS;
}

bool detail::endFileOperation(unsigned code) {
  if (code == ERROR_SUCCESS) return true;  // both cells still hold the 0 of the start
  detail::setLastError(code);
  tFileIoError = code;
  return false;
}

namespace FileIO {

File::File() : m_imp(nullptr) {}

File::File(FileImp* imp) : m_imp(imp) {}

File File::nullFile() {
  return File();
}

File::File(const File& other) : m_imp(other.m_imp) {
  if (m_imp) m_imp->refs.fetch_add(1, std::memory_order_relaxed);
}

File& File::operator=(const File& other) {
  if (other.m_imp) other.m_imp->refs.fetch_add(1, std::memory_order_relaxed);
  File old(m_imp);  // drops the previous reference when it goes
  m_imp = other.m_imp;
  return *this;
}

bool File::operator==(const File& other) {
  if (!m_imp || !other.m_imp) return !m_imp && !other.m_imp;
  return m_imp->fd == other.m_imp->fd;
}

Pyra::ErrorStatus File::openStatus() {
  return m_imp ? m_imp->status : Pyra::NotOpened;
}

unsigned int lastError() {
  return tFileIoError;
}

unsigned int toWin32AccessMode(FileOpenMode mode) {
  switch (mode) {
    case OpenRead:
      return 0x80000000u;
    case OpenReadWrite:
      return 0xC0000000u;
    default:
      return 0;
  }
}

unsigned int toWin32ShareMode(FileShareMode mode) {
  switch (mode) {
    case ShareRead:
      return 1;
    case ShareReadWrite:
      return 3;
    case ShareReadWriteDelete:
      return 7;
    default:
      return 0;
  }
}

}  // namespace FileIO

namespace detail {

std::optional<StreamMode> parseStreamMode(const wchar_t* mode) {
  if (!mode) return std::nullopt;
  const wchar_t* p = mode;
  while (*p == L' ') ++p;
  StreamMode m;
  bool read = false, write = false;
  const wchar_t kind = *p;
  switch (*p++) {
    case L'r':
      read = true;
      break;
    case L'w':
      write = true;
      m.disposition = Disposition::CreateAlways;
      break;
    case L'a':
      write = true;
      m.append = true;
      m.disposition = Disposition::OpenAlways;
      break;
    default:
      return std::nullopt;
  }
  // Each class of flag may appear once: +, t/b, c/n, S/R, N, T, D, x.
  bool plus = false, textOrBinary = false, commit = false, pattern = false, noInherit = false,
       temporary = false, exclusive = false;
  auto once = [](bool& seen) { return !std::exchange(seen, true); };
  for (; *p && *p != L','; ++p) {
    bool fresh = true;
    switch (*p) {
      case L'+':
        fresh = once(plus);
        break;
      case L't':
      case L'b':
        fresh = once(textOrBinary);
        break;
      case L'c':
      case L'n':
        fresh = once(commit);
        m.syncWrites = *p == L'c';
        break;
      case L'S':
      case L'R':
        fresh = once(pattern);
        m.accessPattern = *p == L'S' ? 1 : 2;
        break;
      case L'N':
        fresh = once(noInherit);
        break;  // descriptors are never inherited here
      case L'T':
        fresh = once(temporary);
        break;  // a caching hint only
      case L'D':
        fresh = once(m.deleteOnClose);
        break;
      case L'x':
        fresh = write && !m.append && once(exclusive);
        break;
      case L' ':
        break;
      default:
        return std::nullopt;
    }
    if (!fresh) return std::nullopt;
  }
  if (*p == L',') {
    ++p;
    while (*p == L' ') ++p;
    if (std::wcsncmp(p, L"ccs", 3) != 0) return std::nullopt;
    p += 3;
    while (*p == L' ') ++p;
    if (*p++ != L'=') return std::nullopt;
    while (*p == L' ') ++p;
    std::wstring encoding;
    for (; *p && *p != L' '; ++p) encoding += foldCase(*p);
    while (*p == L' ') ++p;
    if (*p || (encoding != L"UTF-8" && encoding != L"UTF-16LE" && encoding != L"UNICODE"))
      return std::nullopt;
    m.utf8Text = true;
  }
  if (exclusive) m.disposition = Disposition::CreateNew;
  if (plus) read = write = true;
  m.access = (read ? unsigned{kShareRightRead} : 0u) | (write ? unsigned{kShareRightWrite} : 0u);
  static const char* const kModes[3][2] = {{"r", "r+"}, {"w", "w+"}, {"a", "a+"}};
  m.streamMode = kModes[kind == L'r' ? 0 : kind == L'w' ? 1 : 2][plus];
  return m;
}

std::optional<unsigned> shareOfRuntimeFlag(int shareFlag, unsigned access) {
  switch (shareFlag) {
    case _SH_DENYRW:
      return 0u;
    case _SH_DENYWR:
      return unsigned{kShareRightRead};
    case _SH_DENYRD:
      return unsigned{kShareRightWrite};
    case _SH_DENYNO:
      return unsigned{kShareRightRead | kShareRightWrite};
    // Shared reading for a read-only open, exclusive otherwise.
    case _SH_SECURE:
      return access == kShareRightRead ? unsigned{kShareRightRead} : 0u;
    default:
      return std::nullopt;
  }
}

std::optional<std::string> fileNameFromWide(const wchar_t* name) {
  auto path = pathFromWide(name);
  if (!path) return std::nullopt;
  return path->native();
}

std::optional<std::string> fileNameFromAnsi(const char* name) {
  if (!name) return std::nullopt;
  std::wstring wide;
  if (UnicodeConvert::multibyteToWide(code_page_id_ex(0u), name, wide, 0) != UnicodeConvert::ToWideCharOk)
    return std::nullopt;
  return fileNameFromWide(wide.c_str());
}

namespace {
constexpr long long kTicksPerSecond = 10000000;
constexpr long long kEpochTicks = 116444736000000000LL;  // 1601-01-01 to 1970-01-01
}  // namespace

long long secondsFromUnixTime(long long seconds, unsigned nanoseconds) {
  return (seconds * kTicksPerSecond + nanoseconds / 100) / kTicksPerSecond;
}

bool validFileTimeSeconds(long long seconds, bool& unchanged) {
  constexpr long long kMax = (std::numeric_limits<long long>::max() - kEpochTicks) / kTicksPerSecond;
  constexpr long long kMin = -kEpochTicks / kTicksPerSecond;
  unchanged = seconds == kMin;
  return seconds >= kMin && seconds <= kMax;
}

}  // namespace detail

}  // namespace Halvex::Tessaran::PAL
