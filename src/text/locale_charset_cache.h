// The process-wide cache of (LCID, character set) pairs behind
// getCharsetFromLocale: preloaded, searched from its first entry, appended to
// up to 256 pairs and never shrunk. It takes no lock: a pair is published
// with one atomic store, so a reader sees it whole or not at all, and two
// threads may at worst store the same pair twice.
#pragma once

#include <optional>
#include <span>

#include "pal/locale.h"
#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::detail {

struct CharsetPair {
  LCID lcid;
  Charset charset;
};

inline constexpr int kCharsetCacheCapacity = 256;

// The pairs the cache holds at load, in search order.
std::span<const CharsetPair> charsetCachePreload();

std::optional<Charset> charsetCacheFind(LCID lcid);
// Does nothing once the cache is full.
void charsetCacheAppend(LCID lcid, Charset charset);
int charsetCacheSize();

}  // namespace Halvex::Tessaran::PAL::detail
