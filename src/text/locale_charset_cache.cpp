// The preloaded charset cache.
#include "text/locale_charset_cache.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr CharsetPair kPreload[] = {
    {0x0403, ANSI_CHARSET},       {0x0406, ANSI_CHARSET},        {0x0407, ANSI_CHARSET},
    {0x0807, ANSI_CHARSET},       {0x0C07, ANSI_CHARSET},        {0x1007, ANSI_CHARSET},
    {0x1407, ANSI_CHARSET},       {0x0409, ANSI_CHARSET},        {0x0809, ANSI_CHARSET},
    {0x0C09, ANSI_CHARSET},       {0x1009, ANSI_CHARSET},        {0x1409, ANSI_CHARSET},
    {0x1809, ANSI_CHARSET},       {0x1C09, ANSI_CHARSET},        {0x2009, ANSI_CHARSET},
    {0x2409, ANSI_CHARSET},       {0x2809, ANSI_CHARSET},        {0x2C09, ANSI_CHARSET},
    {0x3009, ANSI_CHARSET},       {0x3409, ANSI_CHARSET},        {0x040A, ANSI_CHARSET},
    {0x080A, ANSI_CHARSET},       {0x0C0A, ANSI_CHARSET},        {0x100A, ANSI_CHARSET},
    {0x140A, ANSI_CHARSET},       {0x180A, ANSI_CHARSET},        {0x1C0A, ANSI_CHARSET},
    {0x200A, ANSI_CHARSET},       {0x240A, ANSI_CHARSET},        {0x280A, ANSI_CHARSET},
    {0x2C0A, ANSI_CHARSET},       {0x300A, ANSI_CHARSET},        {0x340A, ANSI_CHARSET},
    {0x380A, ANSI_CHARSET},       {0x3C0A, ANSI_CHARSET},        {0x400A, ANSI_CHARSET},
    {0x440A, ANSI_CHARSET},       {0x480A, ANSI_CHARSET},        {0x4C0A, ANSI_CHARSET},
    {0x500A, ANSI_CHARSET},       {0x040B, ANSI_CHARSET},        {0x040C, ANSI_CHARSET},
    {0x080C, ANSI_CHARSET},       {0x0C0C, ANSI_CHARSET},        {0x100C, ANSI_CHARSET},
    {0x140C, ANSI_CHARSET},       {0x180C, ANSI_CHARSET},        {0x040F, ANSI_CHARSET},
    {0x0410, ANSI_CHARSET},       {0x0810, ANSI_CHARSET},        {0x0413, ANSI_CHARSET},
    {0x0813, ANSI_CHARSET},       {0x0414, ANSI_CHARSET},        {0x0814, ANSI_CHARSET},
    {0x0416, ANSI_CHARSET},       {0x0816, ANSI_CHARSET},        {0x041D, ANSI_CHARSET},
    {0x081D, ANSI_CHARSET},       {0x0421, ANSI_CHARSET},        {0x042D, ANSI_CHARSET},
    {0x0432, ANSI_CHARSET},       {0x0434, ANSI_CHARSET},        {0x0435, ANSI_CHARSET},
    {0x0436, ANSI_CHARSET},       {0x0438, ANSI_CHARSET},        {0x043B, ANSI_CHARSET},
    {0x083B, ANSI_CHARSET},       {0x0C3B, ANSI_CHARSET},        {0x103B, ANSI_CHARSET},
    {0x143B, ANSI_CHARSET},       {0x183B, ANSI_CHARSET},        {0x1C3B, ANSI_CHARSET},
    {0x203B, ANSI_CHARSET},       {0x243B, ANSI_CHARSET},        {0x043E, ANSI_CHARSET},
    {0x083E, ANSI_CHARSET},       {0x0441, ANSI_CHARSET},        {0x0452, ANSI_CHARSET},
    {0x0456, ANSI_CHARSET},       {0x046B, ANSI_CHARSET},        {0x086B, ANSI_CHARSET},
    {0x0C6B, ANSI_CHARSET},       {0x046C, ANSI_CHARSET},        {0x042B, DEFAULT_CHARSET},
    {0x0437, DEFAULT_CHARSET},    {0x043A, DEFAULT_CHARSET},     {0x045A, DEFAULT_CHARSET},
    {0x0465, DEFAULT_CHARSET},    {0x0481, DEFAULT_CHARSET},     {0x0411, SHIFTJIS_CHARSET},
    {0x0412, HANGUL_CHARSET},     {0x0804, GB2312_CHARSET},      {0x0C04, GB2312_CHARSET},
    {0x1004, GB2312_CHARSET},     {0x0404, CHINESEBIG5_CHARSET}, {0x1404, CHINESEBIG5_CHARSET},
    {0x0408, GREEK_CHARSET},      {0x041F, TURKISH_CHARSET},     {0x042A, VIETNAMESE_CHARSET},
    {0x040D, HEBREW_CHARSET},     {0x0401, ARABIC_CHARSET},      {0x0801, ARABIC_CHARSET},
    {0x0C01, ARABIC_CHARSET},     {0x1001, ARABIC_CHARSET},      {0x1401, ARABIC_CHARSET},
    {0x1801, ARABIC_CHARSET},     {0x1C01, ARABIC_CHARSET},      {0x2001, ARABIC_CHARSET},
    {0x2401, ARABIC_CHARSET},     {0x2801, ARABIC_CHARSET},      {0x2C01, ARABIC_CHARSET},
    {0x3001, ARABIC_CHARSET},     {0x3401, ARABIC_CHARSET},      {0x3801, ARABIC_CHARSET},
    {0x3C01, ARABIC_CHARSET},     {0x4001, ARABIC_CHARSET},      {0x0420, ARABIC_CHARSET},
    {0x0429, ARABIC_CHARSET},     {0x0425, BALTIC_CHARSET},      {0x0426, BALTIC_CHARSET},
    {0x0427, BALTIC_CHARSET},     {0x0402, RUSSIAN_CHARSET},     {0x0419, RUSSIAN_CHARSET},
    {0x0C1A, RUSSIAN_CHARSET},    {0x1C1A, RUSSIAN_CHARSET},     {0x0422, RUSSIAN_CHARSET},
    {0x0423, RUSSIAN_CHARSET},    {0x082C, RUSSIAN_CHARSET},     {0x042F, RUSSIAN_CHARSET},
    {0x043F, RUSSIAN_CHARSET},    {0x0440, RUSSIAN_CHARSET},     {0x0843, RUSSIAN_CHARSET},
    {0x0444, RUSSIAN_CHARSET},    {0x0450, RUSSIAN_CHARSET},     {0x041E, THAI_CHARSET},
    {0x0405, EASTEUROPE_CHARSET}, {0x040E, EASTEUROPE_CHARSET},  {0x0415, EASTEUROPE_CHARSET},
    {0x0418, EASTEUROPE_CHARSET}, {0x041A, EASTEUROPE_CHARSET},  {0x081A, EASTEUROPE_CHARSET},
    {0x101A, EASTEUROPE_CHARSET}, {0x141A, EASTEUROPE_CHARSET},  {0x181A, EASTEUROPE_CHARSET},
    {0x041B, EASTEUROPE_CHARSET}, {0x041C, EASTEUROPE_CHARSET},  {0x0424, EASTEUROPE_CHARSET},
    {0x042C, EASTEUROPE_CHARSET}, {0x0443, EASTEUROPE_CHARSET},  {0x0445, CharsetBengali},
    {0x0446, CharsetGurmukhi},    {0x0447, CharsetGujarati},     {0x0449, CharsetTamil},
    {0x044A, CharsetTelugu},      {0x044B, CharsetKannada},      {0x044C, CharsetMalayalam},
    {0x0439, CharsetDevanagari},  {0x044E, CharsetDevanagari},   {0x044F, CharsetDevanagari},
    {0x0457, CharsetDevanagari},
};

// A pair packed as LCID in the high and character set in the low half; 0
// marks a slot not yet published (LCID 0 is never stored).
std::uint64_t pack(LCID lcid, Charset charset) {
  return (std::uint64_t{lcid} << 32) | static_cast<std::uint32_t>(charset);
}

struct Cache {
  std::array<std::atomic<std::uint64_t>, kCharsetCacheCapacity> slots{};
  std::atomic<int> size{0};

  Cache() {
    for (const CharsetPair& p : kPreload) slots[size++].store(pack(p.lcid, p.charset));
  }
};

Cache& cache() {
  static Cache instance;
  return instance;
}

}  // namespace

std::span<const CharsetPair> charsetCachePreload() {
  return kPreload;
}

std::optional<Charset> charsetCacheFind(LCID lcid) {
  Cache& c = cache();
  int n = c.size.load(std::memory_order_acquire);
  for (int i = 0; i < n; ++i) {
    std::uint64_t v = c.slots[i].load(std::memory_order_acquire);
    if (v != 0 && static_cast<LCID>(v >> 32) == lcid)
      return static_cast<Charset>(static_cast<std::int32_t>(v & 0xFFFFFFFFu));
  }
  return std::nullopt;
}

void charsetCacheAppend(LCID lcid, Charset charset) {
  Cache& c = cache();
  int n = c.size.load(std::memory_order_relaxed);
  while (n < kCharsetCacheCapacity && !c.size.compare_exchange_weak(n, n + 1, std::memory_order_relaxed)) {
  }
  if (n < kCharsetCacheCapacity) c.slots[n].store(pack(lcid, charset), std::memory_order_release);
}

int charsetCacheSize() {
  return cache().size.load(std::memory_order_acquire);
}

}  // namespace Halvex::Tessaran::PAL::detail
