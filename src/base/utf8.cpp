// UTF-8 <-> UTF-32. On x86-64 ASCII runs go 16 bytes at a time (SSE2, always
// present) and runs of three-byte characters (CJK) four characters at a time
// (SSSE3, chosen at run time); elsewhere the portable scalar code does it all.
// Everything the vector steps do not take goes through the scalar code,
// which alone decides what is ill-formed.
#include "base/utf8.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define KVPAL_UTF8_X86 1
#endif

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

static_assert(sizeof(wchar_t) == 4, "wide text is UTF-32 on this platform");

inline bool isContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

inline uint32_t loadLittleEndian(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return std::endian::native == std::endian::little ? v : __builtin_bswap32(v);
}

// Narrows the leading run of ASCII values and returns its length.
inline size_t narrowAscii(const wchar_t* in, size_t units, unsigned char* out) {
  size_t i = 0;
#if KVPAL_UTF8_X86
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

#if KVPAL_UTF8_X86

// Widens 16 bytes into 16 units and returns how many of them were ASCII (the
// leading run); the units past that run are garbage the caller overwrites.
// Needs 16 readable bytes and room for 16 units.
inline size_t widen16(const unsigned char* in, wchar_t* out) {
  const __m128i zero = _mm_setzero_si128();
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
  auto* o = reinterpret_cast<__m128i*>(out);
  _mm_storeu_si128(o + 0, _mm_unpacklo_epi16(lo, zero));
  _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(lo, zero));
  _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(hi, zero));
  _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(hi, zero));
  unsigned nonAscii = static_cast<unsigned>(_mm_movemask_epi8(v));
  return nonAscii == 0 ? 16 : static_cast<size_t>(std::countr_zero(nonAscii));
}

// Decodes whole groups of four well-formed three-byte characters; returns
// the bytes taken (a multiple of 12). Reads 16 bytes per group.
__attribute__((target("ssse3"))) size_t decodeThreeByteGroups(const unsigned char* in, size_t size,
                                                              wchar_t* out) {
  const __m128i gather = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
  const __m128i formMask =
      _mm_setr_epi8(char(0xF0), char(0xC0), char(0xC0), char(0xF0), char(0xC0), char(0xC0), char(0xF0),
                    char(0xC0), char(0xC0), char(0xF0), char(0xC0), char(0xC0), 0, 0, 0, 0);
  const __m128i form =
      _mm_setr_epi8(char(0xE0), char(0x80), char(0x80), char(0xE0), char(0x80), char(0x80), char(0xE0),
                    char(0x80), char(0x80), char(0xE0), char(0x80), char(0x80), 0, 0, 0, 0);
  size_t i = 0;
  for (; i + 16 <= size; i += 12) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, formMask), form)) != 0xFFFF) break;
    __m128i t = _mm_shuffle_epi8(v, gather);  // per lane: trail, middle, lead
    __m128i c = _mm_or_si128(_mm_or_si128(_mm_and_si128(t, _mm_set1_epi32(0x3F)),
                                          _mm_srli_epi32(_mm_and_si128(t, _mm_set1_epi32(0x3F00)), 2)),
                             _mm_srli_epi32(_mm_and_si128(t, _mm_set1_epi32(0x0F0000)), 4));
    __m128i overlong = _mm_cmplt_epi32(c, _mm_set1_epi32(0x800));
    __m128i surrogate = _mm_cmpeq_epi32(_mm_and_si128(c, _mm_set1_epi32(0xF800)), _mm_set1_epi32(0xD800));
    if (_mm_movemask_epi8(_mm_or_si128(overlong, surrogate)) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i / 3), c);
  }
  return i;
}

// Encodes whole groups of four characters from U+0800 to U+FFFF (surrogates
// excluded); returns the units taken (a multiple of 4). Stores 16 bytes per
// group of 12.
__attribute__((target("ssse3"))) size_t encodeThreeByteGroups(const wchar_t* in, size_t units,
                                                              unsigned char* out) {
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  size_t i = 0;
  for (; i + 4 <= units; i += 4) {
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    // Signed compares: values from 0x80000000 up count as below 0x800.
    __m128i outside =
        _mm_or_si128(_mm_cmplt_epi32(c, _mm_set1_epi32(0x800)), _mm_cmpgt_epi32(c, _mm_set1_epi32(0xFFFF)));
    __m128i surrogate = _mm_cmpeq_epi32(_mm_and_si128(c, _mm_set1_epi32(0xF800)), _mm_set1_epi32(0xD800));
    if (_mm_movemask_epi8(_mm_or_si128(outside, surrogate)) != 0) break;
    __m128i lead = _mm_or_si128(_mm_srli_epi32(c, 12), _mm_set1_epi32(0xE0));
    __m128i middle =
        _mm_or_si128(_mm_and_si128(_mm_slli_epi32(c, 2), _mm_set1_epi32(0x3F00)), _mm_set1_epi32(0x8000));
    __m128i trail =
        _mm_or_si128(_mm_slli_epi32(_mm_and_si128(c, _mm_set1_epi32(0x3F)), 16), _mm_set1_epi32(0x800000));
    __m128i bytes = _mm_or_si128(_mm_or_si128(lead, middle), trail);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * i), _mm_shuffle_epi8(bytes, pack));
  }
  return i;
}

// pshufb patterns indexed by an 8-bit lane mask. kPairBytes: 16-bit lanes
// keep their first byte, and their second too where the mask bit is set.
// kKeepPairs: only the 16-bit lanes whose bit is set, packed to the front.
struct ShuffleTable {
  alignas(16) int8_t row[256][16];
};

constexpr ShuffleTable makeShuffles(bool keepWholeLanesOnly) {
  ShuffleTable t{};
  for (int m = 0; m < 256; ++m) {
    int n = 0;
    for (int k = 0; k < 8; ++k) {
      bool set = (m >> k) & 1;
      if (keepWholeLanesOnly && !set) continue;
      t.row[m][n++] = static_cast<int8_t>(2 * k);
      if (set) t.row[m][n++] = static_cast<int8_t>(2 * k + 1);
    }
    while (n < 16) t.row[m][n++] = -1;
  }
  return t;
}

constexpr ShuffleTable kPairBytes = makeShuffles(false);
constexpr ShuffleTable kKeepPairs = makeShuffles(true);

inline __m128i row(const ShuffleTable& t, unsigned m) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(t.row[m]));
}

// Decodes 16-byte windows of well-formed one- and two-byte characters into
// `out`; returns the bytes taken and sets `written` to the units. Reads 17
// bytes per window and writes up to 16 units past the units it keeps.
__attribute__((target("ssse3"))) size_t decodeTwoByteGroups(const unsigned char* in, size_t size,
                                                            wchar_t* out, size_t& written) {
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0, o = 0;
  for (; i + 17 <= size;) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 1));
    __m128i ascii = _mm_cmpgt_epi8(v, _mm_set1_epi8(-1));
    __m128i cont = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xC0))), _mm_set1_epi8(char(0x80)));
    // C2..DF as signed bytes: above -63 and of the 110xxxxx form.
    __m128i lead =
        _mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xE0))), _mm_set1_epi8(char(0xC0))),
                      _mm_cmpgt_epi8(v, _mm_set1_epi8(-63)));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(ascii, cont), lead)) != 0xFFFF) break;
    // Each continuation byte right after a lead byte, and only there.
    if (_mm_movemask_epi8(_mm_xor_si128(cont, _mm_slli_si128(lead, 1))) != 0) break;
    unsigned leads = static_cast<unsigned>(_mm_movemask_epi8(lead));
    // A lead byte in the last place waits for the next window.
    size_t taken = (leads & 0x8000) ? 15 : 16;
    unsigned starts = ~static_cast<unsigned>(_mm_movemask_epi8(cont)) & (taken == 16 ? 0xFFFF : 0x7FFF);
    __m128i halves[2] = {_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)};
    __m128i nexts[2] = {_mm_unpacklo_epi8(next, zero), _mm_unpackhi_epi8(next, zero)};
    __m128i leadLanes[2] = {_mm_unpacklo_epi8(lead, lead), _mm_unpackhi_epi8(lead, lead)};
    for (int h = 0; h < 2; ++h) {
      __m128i pair = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(halves[h], _mm_set1_epi16(0x1F)), 6),
                                  _mm_and_si128(nexts[h], _mm_set1_epi16(0x3F)));
      __m128i value =
          _mm_or_si128(_mm_and_si128(leadLanes[h], pair), _mm_andnot_si128(leadLanes[h], halves[h]));
      unsigned keep = (starts >> (8 * h)) & 0xFF;
      __m128i packed = _mm_shuffle_epi8(value, row(kKeepPairs, keep));
      auto* dst = reinterpret_cast<__m128i*>(out + o);
      _mm_storeu_si128(dst, _mm_unpacklo_epi16(packed, zero));
      _mm_storeu_si128(dst + 1, _mm_unpackhi_epi16(packed, zero));
      o += static_cast<size_t>(std::popcount(keep));
    }
    i += taken;
  }
  written = o;
  return i;
}

// Encodes groups of eight characters below U+0800 into `out`; returns the
// units taken and sets `written` to the bytes. Stores 16 bytes per group.
__attribute__((target("ssse3"))) size_t encodeTwoByteGroups(const wchar_t* in, size_t units,
                                                            unsigned char* out, size_t& written) {
  const __m128i zero = _mm_setzero_si128(), high = _mm_set1_epi32(~0x7FF);
  size_t i = 0, o = 0;
  for (; i + 8 <= units; i += 8) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 4));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(_mm_or_si128(a, b), high), zero)) != 0xFFFF) break;
    __m128i v = _mm_packs_epi32(a, b);  // exact: every value is below 0x800
    __m128i two = _mm_cmpgt_epi16(v, _mm_set1_epi16(0x7F));
    __m128i lead = _mm_or_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(0xC0));
    __m128i trail = _mm_or_si128(_mm_and_si128(v, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
    __m128i pair = _mm_or_si128(lead, _mm_slli_epi16(trail, 8));
    __m128i bytes = _mm_or_si128(_mm_and_si128(two, pair), _mm_andnot_si128(two, v));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(two, zero)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), _mm_shuffle_epi8(bytes, row(kPairBytes, mask)));
    o += 8 + static_cast<size_t>(std::popcount(mask));
  }
  written = o;
  return i;
}

// Asked on the first conversion, not while the library loads.
bool hasSsse3() {
  static const bool has = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_SSSE3) != 0;
  }();
  return has;
}

#else

inline size_t widen16(const unsigned char* in, wchar_t* out) {
  for (size_t k = 0; k < 16; ++k) out[k] = in[k];
  for (size_t k = 0; k < 16; ++k)
    if (in[k] >= 0x80) return k;
  return 16;
}

constexpr bool hasSsse3() {
  return false;
}
inline size_t decodeThreeByteGroups(const unsigned char*, size_t, wchar_t*) {
  return 0;
}
inline size_t encodeThreeByteGroups(const wchar_t*, size_t, unsigned char*) {
  return 0;
}
inline size_t decodeTwoByteGroups(const unsigned char*, size_t, wchar_t*, size_t& written) {
  return written = 0;
}
inline size_t encodeTwoByteGroups(const wchar_t*, size_t, unsigned char*, size_t& written) {
  return written = 0;
}

#endif

}  // namespace

Utf8Result utf8ToUtf32(const char* text, size_t size, wchar_t* out) {
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  const bool ssse3 = hasSsse3();
  size_t i = 0, o = 0;
  bool replaced = false;
  while (i < size) {
    unsigned char b = in[i];
    if (b < 0x80) {
      // o <= i, so room for 16 units follows from 16 readable bytes. Short
      // runs (the spaces between accented words) go faster one by one.
      if (i + 16 <= size && in[i + 3] < 0x80) {
        size_t n = widen16(in + i, out + o);
        i += n;
        o += n;
      } else {
        out[o++] = b;
        ++i;
      }
      continue;
    }
    // Well-formed multi-byte characters, checked on the decoded value (the
    // range check rejects overlong forms, surrogates and values above
    // U+10FFFF); anything else goes the careful way below.
    if (i + 4 <= size) {
      uint32_t w = loadLittleEndian(in + i);
      if ((w & 0xC0E0) == 0x80C0 && b >= 0xC2) {
        if (ssse3 && i + 17 <= size) {
          size_t written;
          size_t n = decodeTwoByteGroups(in + i, size - i, out + o, written);
          i += n;
          o += written;
          if (n != 0) continue;
        }
        // Text of one- and two-byte characters (Latin, Greek, Cyrillic)
        // alternates unpredictably, so choose without a branch; leave for
        // anything else, and for ASCII runs long enough for the vector step.
        do {
          bool two = (w & 0xC0E0) == 0x80C0 && (w & 0xFF) >= 0xC2;
          uint32_t c = two ? ((w & 0x1F) << 6) | ((w >> 8) & 0x3F) : (w & 0xFF);
          out[o++] = static_cast<wchar_t>(c);
          i += 1 + two;
          if (i + 4 > size) break;
          w = loadLittleEndian(in + i);
        } while ((w & 0x80) == 0 ? (w & 0x80808080) != 0 : (w & 0xC0E0) == 0x80C0 && (w & 0xFF) >= 0xC2);
        continue;
      }
      if ((w & 0xC0C0F0) == 0x8080E0) {
        if (ssse3 && i + 16 <= size) {
          size_t n = decodeThreeByteGroups(in + i, size - i, out + o);
          i += n;
          o += n / 3;
          if (n != 0) continue;
        }
        uint32_t c = ((w & 0x0F) << 12) | ((w >> 2) & 0xFC0) | ((w >> 16) & 0x3F);
        if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
          out[o++] = static_cast<wchar_t>(c);
          i += 3;
          continue;
        }
      }
      if ((w & 0xC0C0C0F8) == 0x808080F0) {
        uint32_t c = ((w & 0x07) << 18) | ((w << 4) & 0x3F000) | ((w >> 10) & 0xFC0) | ((w >> 24) & 0x3F);
        if (c >= 0x10000 && c <= 0x10FFFF) {
          out[o++] = static_cast<wchar_t>(c);
          i += 4;
          continue;
        }
      }
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
  const bool ssse3 = hasSsse3();
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
    // Each input unit has 4 bytes of room and no character takes more, so
    // o <= 4 * i and the 16-byte stores of a group stay inside the buffer.
    if (ssse3 && c >= 0x800 && c <= 0xFFFF && i + 4 <= units) {
      size_t n = encodeThreeByteGroups(in + i, units - i, out + o);
      i += n;
      o += 3 * n;
      if (n != 0) continue;
    }
    if (c < 0x800) {
      if (ssse3 && i + 8 <= units) {
        size_t written;
        size_t n = encodeTwoByteGroups(in + i, units - i, out + o, written);
        i += n;
        o += written;
        if (n != 0) continue;
      }
      // One- and two-byte characters mixed, as in the decoder: no branch on
      // which; a two-byte store has room under every unit.
      do {
        bool two = c >= 0x80;
        uint32_t bytes = two ? (0xC0 | (c >> 6)) | ((0x80 | (c & 0x3F)) << 8) : c;
        out[o] = static_cast<unsigned char>(bytes);
        out[o + 1] = static_cast<unsigned char>(bytes >> 8);
        o += 1 + two;
        if (++i == units) break;
        c = static_cast<uint32_t>(in[i]);
      } while (c < 0x800 && (c >= 0x80 || i + 4 > units || static_cast<uint32_t>(in[i + 3]) >= 0x80));
      continue;
    }
    ++i;
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

namespace {

// The whole-string forms convert through a small buffer that stays in the
// first-level cache and append from it, so the string's memory is written
// once; sizing the string first and converting into it would write it twice
// (the zero fill, then the text).
constexpr size_t kStageUnits = 4096;

bool isContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Where a chunk of at most kStageUnits bytes may end without changing what
// the decoder makes of the text: before a byte that starts a sequence, or
// before a continuation byte that no lead byte can reach (a lead takes at
// most three).
size_t decodeChunk(const char* in, size_t size) {
  if (size <= kStageUnits) return size;
  for (size_t back = 0; back < 4; ++back)
    if (!isContinuation(in[kStageUnits - back])) return kStageUnits - back;
  return kStageUnits;
}

}  // namespace

Utf8Result assignUtf8ToUtf32(const char* in, size_t size, std::wstring& out) {
  out.clear();
  out.reserve(size);
  Utf8Result total{0, false};
  wchar_t stage[kStageUnits];
  while (size > 0) {
    size_t chunk = decodeChunk(in, size);
    Utf8Result r = utf8ToUtf32(in, chunk, stage);
    out.append(stage, r.written);
    total.written += r.written;
    total.replaced |= r.replaced;
    in += chunk;
    size -= chunk;
  }
  return total;
}

Utf8Result assignUtf32ToUtf8(const wchar_t* in, size_t units, std::string& out) {
  out.clear();
  out.reserve(units);
  Utf8Result total{0, false};
  constexpr size_t kChunkUnits = kStageUnits / 4;
  char stage[utf8Capacity(kChunkUnits)];
  while (units > 0) {
    size_t chunk = units < kChunkUnits ? units : kChunkUnits;
    Utf8Result r = utf32ToUtf8(in, chunk, stage);
    out.append(stage, r.written);
    total.written += r.written;
    total.replaced |= r.replaced;
    in += chunk;
    units -= chunk;
  }
  return total;
}

std::string wideToUtf8(std::wstring_view text) {
  std::string out;
  assignUtf32ToUtf8(text.data(), text.size(), out);
  return out;
}

std::wstring utf8ToWide(std::string_view text) {
  std::wstring out;
  assignUtf8ToUtf32(text.data(), text.size(), out);
  return out;
}

}  // namespace Halvex::Tessaran::PAL::detail
