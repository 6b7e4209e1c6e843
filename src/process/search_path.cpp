// Dropping folders from a search-path value, keeping the rest as written.
#include "process/search_path.h"

#include <vector>

namespace Halvex::Tessaran::PAL::detail {

std::wstring withoutEntries(std::wstring_view value, const std::function<bool(const std::wstring&)>& drop) {
  constexpr wchar_t separator = L':';
  struct Entry {
    size_t begin, end;
    bool dropped;
  };
  std::vector<Entry> entries;
  const size_t n = value.size();
  for (size_t i = 0; i < n;) {
    while (i < n && value[i] == separator) ++i;
    if (i == n) break;
    const size_t begin = i;
    std::wstring entry;
    bool quoted = false;
    for (; i < n && (quoted || value[i] != separator); ++i) {
      if (value[i] == L'"')
        quoted = !quoted;
      else
        entry += value[i];
    }
    entries.push_back({begin, i, !entry.empty() && drop(entry)});
  }
  // A dropped entry takes the separators up to the next entry; dropped
  // entries after the last kept one go from the end of that one on.
  size_t tail = entries.size();
  while (tail > 0 && entries[tail - 1].dropped) --tail;
  std::wstring out;
  size_t kept = 0;
  for (size_t k = 0; k < tail; ++k) {
    if (!entries[k].dropped) continue;
    out.append(value.substr(kept, entries[k].begin - kept));
    kept = entries[k + 1].begin;
  }
  if (tail == entries.size()) return out.append(value.substr(kept));
  const size_t cut = tail == 0 ? 0 : entries[tail - 1].end;
  return out.append(value.substr(kept, cut - kept));
}

}  // namespace Halvex::Tessaran::PAL::detail
