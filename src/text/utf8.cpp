// UTF-8 <-> UTF-32 with a vectorised ASCII path (SSE2, baseline on x86-64)
// and a portable word-at-a-time fallback elsewhere.
#include "text/utf8.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

static_assert(sizeof(wchar_t) == 4, "wide text is UTF-32 on this platform");

// Widens a run of ASCII bytes; returns how many bytes it consumed (a prefix
// of `size`, stopping at or a little before the first non-ASCII byte).
inline size_t widenAscii(const unsigned char* in, size_t size, wchar_t* out) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= size; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    if (_mm_movemask_epi8(v) != 0) break;
    __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
    auto* o = reinterpret_cast<__m128i*>(out + i);
    _mm_storeu_si128(o + 0, _mm_unpacklo_epi16(lo, zero));
    _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(lo, zero));
    _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(hi, zero));
    _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(hi, zero));
  }
#else
  for (; i + 8 <= size; i += 8) {
    uint64_t w;
    std::memcpy(&w, in + i, 8);
    if (w & 0x8080808080808080ull) break;
    for (int k = 0; k < 8; ++k) out[i + k] = in[i + k];
  }
#endif
  return i;
}

// Narrows a run of ASCII values; same contract as widenAscii.
inline size_t narrowAscii(const wchar_t* in, size_t units, unsigned char* out) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi32(~0x7F);
  for (; i + 16 <= units; i += 16) {
    auto* p = reinterpret_cast<const __m128i*>(in + i);
    __m128i a = _mm_loadu_si128(p), b = _mm_loadu_si128(p + 1);
    __m128i c = _mm_loadu_si128(p + 2), d = _mm_loadu_si128(p + 3);
    __m128i any = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(any, high), _mm_setzero_si128())) != 0xFFFF) break;
    // Values are below 0x80, so the signed saturating packs are exact.
    __m128i ab = _mm_packs_epi32(a, b), cd = _mm_packs_epi32(c, d);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(ab, cd));
  }
#endif
  for (; i < units; ++i) {
    uint32_t c = static_cast<uint32_t>(in[i]);
    if (c >= 0x80) break;
    out[i] = static_cast<unsigned char>(c);
  }
  return i;
}

inline bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

Utf8Result utf8ToUtf32(const char* text, size_t size, wchar_t* out) {
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0, o = 0;
  bool replaced = false;
  while (i < size) {
    unsigned char b = in[i];
    if (b < 0x80) {
      size_t n = widenAscii(in + i, size - i, out + o);
      i += n;
      o += n;
      // Finish the ASCII bytes the vector step left over one by one.
      while (i < size && in[i] < 0x80) out[o++] = in[i++];
      continue;
    }
    // Second-byte bounds narrow for E0, ED, F0 and F4 so that overlong forms,
    // surrogates and values above U+10FFFF are ill-formed at that byte.
    size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    uint32_t c;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      c = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      c = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out[o++] = kReplacement;
      replaced = true;
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k <= need && i + k < size; ++k) {
      unsigned char t = in[i + k];
      if (k == 1 ? (t < lo || t > hi) : !isContinuation(t)) break;
      c = (c << 6) | (t & 0x3F);
    }
    if (k <= need) {
      out[o++] = kReplacement;
      replaced = true;
    } else {
      out[o++] = static_cast<wchar_t>(c);
    }
    i += k;
  }
  return {o, replaced};
}

Utf8Result utf32ToUtf8(const wchar_t* in, size_t units, char* text) {
  auto* out = reinterpret_cast<unsigned char*>(text);
  size_t i = 0, o = 0;
  bool replaced = false;
  while (i < units) {
    uint32_t c = static_cast<uint32_t>(in[i]);
    if (c < 0x80) {
      size_t n = narrowAscii(in + i, units - i, out + o);
      i += n;
      o += n;
      continue;
    }
    ++i;
    if (c < 0x800) {
      out[o++] = static_cast<unsigned char>(0xC0 | (c >> 6));
      out[o++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      continue;
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      c = kReplacement;
      replaced = true;
    }
    if (c < 0x10000) {
      out[o++] = static_cast<unsigned char>(0xE0 | (c >> 12));
    } else {
      out[o++] = static_cast<unsigned char>(0xF0 | (c >> 18));
      out[o++] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    }
    out[o++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[o++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  }
  return {o, replaced};
}

}  // namespace Halvex::Tessaran::PAL::detail
