// Whether a text is a valid character sequence in the scripts that reject
// invalid ones: the WTT 2.0 input-sequence rules for Thai and Lao, and for
// the Indic and South-East Asian scripts what each character's
// Indic_Syllabic_Category lets it attach to.
#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "pal/script_processor.h"

namespace Halvex::Tessaran::PAL::ScriptProcessor {

namespace {

enum Family { kAcceptsAll, kThaiLao, kIndic, kSouthEastAsian };

constexpr std::pair<UScriptCode, Family> kRejectingScripts[] = {
    {USCRIPT_THAI, kThaiLao},
    {USCRIPT_LAO, kThaiLao},
    {USCRIPT_DEVANAGARI, kIndic},
    {USCRIPT_BENGALI, kIndic},
    {USCRIPT_GURMUKHI, kIndic},
    {USCRIPT_GUJARATI, kIndic},
    {USCRIPT_ORIYA, kIndic},
    {USCRIPT_TAMIL, kIndic},
    {USCRIPT_TELUGU, kIndic},
    {USCRIPT_KANNADA, kIndic},
    {USCRIPT_MALAYALAM, kIndic},
    {USCRIPT_SINHALA, kIndic},
    {USCRIPT_KHMER, kSouthEastAsian},
    {USCRIPT_MYANMAR, kSouthEastAsian},
    {USCRIPT_TIBETAN, kSouthEastAsian},
};

Family familyOf(UScriptCode script) {
  for (auto [s, family] : kRejectingScripts)
    if (s == script) return family;
  return kAcceptsAll;
}

// Wide values that are no scalar value are read as U+FFFD.
UChar32 scalarOf(wchar_t w) {
  auto c = static_cast<std::uint32_t>(w);
  return c > 0x10FFFF ? 0xFFFD : static_cast<UChar32>(c);
}

UScriptCode scriptOf(UChar32 c) {
  UErrorCode err = U_ZERO_ERROR;
  UScriptCode script = uscript_getScript(c, &err);
  return U_SUCCESS(err) ? script : USCRIPT_UNKNOWN;
}

// --- Thai and Lao: WTT 2.0 character classes and input-sequence check ---

enum ThaiClass {
  kCtrl,
  kNon,
  kCons,
  kLv,
  kFv1,
  kFv2,
  kFv3,  // characters that never need a base
  kBv1,
  kBv2,
  kBd,
  kTone,
  kAd1,
  kAd2,
  kAd3,
  kAv1,
  kAv2,
  kAv3,
  kMed,  // Lao semivowel sign lo, a medial consonant written below
  kThaiClassCount
};

constexpr unsigned bit(ThaiClass c) {
  return 1u << c;
}

constexpr unsigned kAllMarks = bit(kBv1) | bit(kBv2) | bit(kBd) | bit(kTone) | bit(kAd1) | bit(kAd2) |
                               bit(kAd3) | bit(kAv1) | bit(kAv2) | bit(kAv3) | bit(kMed);

// The marks that may follow each class; the classes before kBv1 may follow
// anything. Everything else is a reject of the WTT 2.0 table (strict-mode
// rejects such as a following vowel after a leading vowel are accepted).
constexpr unsigned kMarksAfter[kThaiClassCount] = {
    /* kCtrl */ 0,
    /* kNon */ 0,
    /* kCons */ kAllMarks,
    /* kLv */ 0,
    /* kFv1 */ 0,
    /* kFv2 */ 0,
    /* kFv3 */ 0,
    /* kBv1 */ bit(kTone) | bit(kAd1),
    /* kBv2 */ bit(kTone),
    /* kBd */ 0,
    /* kTone */ 0,
    /* kAd1 */ 0,
    /* kAd2 */ 0,
    /* kAd3 */ 0,
    /* kAv1 */ bit(kTone) | bit(kAd1),
    /* kAv2 */ bit(kTone),
    /* kAv3 */ bit(kTone) | bit(kAd3),
    /* kMed */ kAllMarks & ~bit(kMed),
};

// Thai U+0E30 to U+0E4F; Lao uses the same positions 0x80 higher.
constexpr ThaiClass kThaiSigns[] = {
    kFv1,  kAv2,  kFv1,  kFv1,  kAv1, kAv3, kAv2, kAv3,
    kBv1,  kBv2,  kBd,   kNon,  kNon, kNon, kNon, kNon,  // 0E30
    kLv,   kLv,   kLv,   kLv,   kLv,  kFv2, kNon, kAd2,
    kTone, kTone, kTone, kTone, kAd1, kAd1, kAd3, kNon,  // 0E40
};

ThaiClass thaiClassOf(UChar32 c) {
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return kCtrl;
  if (c >= 0x0E01 && c <= 0x0E2E) return c == 0x0E24 || c == 0x0E26 ? kFv3 : kCons;
  if (c >= 0x0E30 && c <= 0x0E4F) return kThaiSigns[c - 0x0E30];
  if ((c >= 0x0E81 && c <= 0x0EAE) || c == 0x0EBD || (c >= 0x0EDC && c <= 0x0EDF)) return kCons;
  if (c == 0x0EBB) return kAv1;  // mai kon, an above vowel
  if (c == 0x0EBC) return kMed;
  if (c == 0x0ECD) return kAv1;  // niggahita writes the vowel o and carries tone marks
  if (c >= 0x0EB0 && c <= 0x0ECF) return kThaiSigns[c - 0x0EB0];
  return kNon;
}

bool thaiLaoRunIsValid(const std::vector<UChar32>& run) {
  ThaiClass previous = kCtrl;
  for (UChar32 c : run) {
    ThaiClass next = thaiClassOf(c);
    if ((bit(next) & kAllMarks) && !(kMarksAfter[previous] & bit(next))) return false;
    previous = next;
  }
  return true;
}

// --- Indic and South-East Asian scripts: what a mark can attach to ---

enum Role { kOther, kBase, kNukta, kVirama, kMatra, kModifier, kJoiner, kRoleCount };

Role roleOf(UChar32 c) {
  switch (u_getIntPropertyValue(c, UCHAR_INDIC_SYLLABIC_CATEGORY)) {
    case U_INSC_CONSONANT:
    case U_INSC_CONSONANT_DEAD:
    case U_INSC_CONSONANT_FINAL:
    case U_INSC_CONSONANT_HEAD_LETTER:
    case U_INSC_CONSONANT_INITIAL_POSTFIXED:
    case U_INSC_CONSONANT_MEDIAL:
    case U_INSC_CONSONANT_PLACEHOLDER:
    case U_INSC_CONSONANT_PRECEDING_REPHA:
    case U_INSC_CONSONANT_PREFIXED:
    case U_INSC_CONSONANT_SUBJOINED:
    case U_INSC_CONSONANT_SUCCEEDING_REPHA:
    case U_INSC_CONSONANT_WITH_STACKER:
    case U_INSC_VOWEL:
    case U_INSC_VOWEL_INDEPENDENT:
      return kBase;
    case U_INSC_NUKTA:
      return kNukta;
    case U_INSC_VIRAMA:
    case U_INSC_PURE_KILLER:
    case U_INSC_INVISIBLE_STACKER:
    case U_INSC_CONSONANT_KILLER:
      return kVirama;
    case U_INSC_VOWEL_DEPENDENT:
      return kMatra;
    case U_INSC_BINDU:
    case U_INSC_VISARGA:
    case U_INSC_CANTILLATION_MARK:
    case U_INSC_GEMINATION_MARK:
    case U_INSC_REGISTER_SHIFTER:
    case U_INSC_SYLLABLE_MODIFIER:
    case U_INSC_TONE_MARK:
      return kModifier;
    case U_INSC_JOINER:
    case U_INSC_NON_JOINER:
      return kJoiner;
    default:
      return kOther;
  }
}

constexpr unsigned roleBit(Role r) {
  return 1u << r;
}
constexpr unsigned kAnyMark = roleBit(kNukta) | roleBit(kVirama) | roleBit(kMatra) | roleBit(kModifier);

// The marks that may follow each role. Indic syllables run consonant [nukta]
// (virama consonant)* [matras [nukta] [virama]] [bindu/visarga]; a mark that
// follows nothing it can attach to is invalid. Khmer, Myanmar and Tibetan
// order their marks more freely (register shifters and tone marks before
// vowels, asat after tone marks), so there any mark may follow a base or
// another mark.
constexpr unsigned kIndicMarksAfter[kRoleCount] = {
    /* kOther */ 0,
    /* kBase */ kAnyMark,
    /* kNukta */ roleBit(kVirama) | roleBit(kMatra) | roleBit(kModifier),
    /* kVirama */ roleBit(kModifier),
    /* kMatra */ kAnyMark,
    /* kModifier */ roleBit(kModifier),
    /* kJoiner */ 0,  // joiners are transparent and never become `previous`
};

constexpr unsigned kSouthEastAsianMarksAfter[kRoleCount] = {
    0, kAnyMark, kAnyMark, kAnyMark, kAnyMark, kAnyMark, 0,
};

bool markRunIsValid(const std::vector<UChar32>& run, const unsigned (&marksAfter)[kRoleCount]) {
  Role previous = kOther;
  for (UChar32 c : run) {
    Role next = roleOf(c);
    if (next == kJoiner) continue;
    if ((roleBit(next) & kAnyMark) && !(marksAfter[previous] & roleBit(next))) return false;
    previous = next;
  }
  return true;
}

bool runIsValid(Family family, const std::vector<UChar32>& run) {
  switch (family) {
    case kThaiLao:
      return thaiLaoRunIsValid(run);
    case kIndic:
      return markRunIsValid(run, kIndicMarksAfter);
    case kSouthEastAsian:
      return markRunIsValid(run, kSouthEastAsianMarksAfter);
    case kAcceptsAll:
      break;
  }
  return true;
}

}  // namespace

bool isValidScriptSequence(wchar_t ch, const std::wstring& text) {
  if (familyOf(scriptOf(scalarOf(ch))) == kAcceptsAll) return true;

  // Runs of one script; common and inherited characters (spaces, digits,
  // joiners, the dotted circle) belong to the run they stand in, or to the
  // one they open.
  std::vector<UChar32> run;
  UScriptCode runScript = USCRIPT_COMMON;
  for (wchar_t w : text) {
    const UChar32 c = scalarOf(w);
    const UScriptCode script = scriptOf(c);
    if (script != USCRIPT_COMMON && script != USCRIPT_INHERITED && script != runScript) {
      if (runScript != USCRIPT_COMMON) {
        if (!runIsValid(familyOf(runScript), run)) return false;
        run.clear();
      }
      runScript = script;
    }
    run.push_back(c);
  }
  return runIsValid(familyOf(runScript), run);
}

}  // namespace Halvex::Tessaran::PAL::ScriptProcessor
