// Sequence validity per script family: marks with and without something to
// attach to, the judging character's script, and runs of several scripts.
#include <gtest/gtest.h>

#include <string>

#include "pal/script_processor.h"

namespace {

using Halvex::Tessaran::PAL::ScriptProcessor::isValidScriptSequence;

struct Case {
  const char* name;
  std::wstring text;
  bool valid;
};

void expectJudgements(wchar_t ch, std::initializer_list<Case> cases) {
  for (const Case& c : cases) EXPECT_EQ(isValidScriptSequence(ch, c.text), c.valid) << c.name;
}

TEST(SequenceValidity, ThaiInputSequenceRules) {
  expectJudgements(L'\u0E01',
                   {
                       {"consonant and above vowel", L"\u0E01\u0E34", true},
                       {"word with thanthakhat over sara i", L"\u0E28\u0E31\u0E01\u0E14\u0E34\u0E4C", true},
                       {"tone mark then sara am", L"\u0E01\u0E48\u0E33", true},
                       {"below vowel then tone", L"\u0E01\u0E38\u0E48", true},
                       {"leading vowel word", L"\u0E44\u0E17\u0E22", true},
                       {"maitaikhu", L"\u0E01\u0E47", true},
                       {"lakkhangyao after ru", L"\u0E24\u0E45", true},
                       {"above vowel alone", L"\u0E34", false},
                       {"tone mark after a space", L"\u0E01 \u0E48", false},
                       {"second above vowel", L"\u0E01\u0E34\u0E35", false},
                       {"tone after tone", L"\u0E01\u0E48\u0E48", false},
                       {"tone after leading vowel", L"\u0E40\u0E48", false},
                       {"maitaikhu after above vowel", L"\u0E01\u0E34\u0E47", false},
                       {"below vowel after below vowel", L"\u0E01\u0E38\u0E39", false},
                       {"thanthakhat after sara uu", L"\u0E01\u0E39\u0E4C", false},
                   });
}

TEST(SequenceValidity, LaoInputSequenceRules) {
  expectJudgements(L'\u0E81', {
                                  {"niggahita carries a tone", L"\u0E81\u0ECD\u0EC8", true},
                                  {"semivowel lo then vowel", L"\u0EAB\u0EBC\u0EB7", true},
                                  {"mai kon then tone", L"\u0E95\u0EBB\u0EC9", true},
                                  {"tone mark first", L"\u0EC8\u0E81", false},
                                  {"second above vowel", L"\u0E81\u0EB4\u0EB5", false},
                                  {"semivowel lo after a vowel", L"\u0EC0\u0EBC", false},
                              });
}

TEST(SequenceValidity, IndicSyllables) {
  expectJudgements(L'\u0915', {
                                  {"conjunct", L"\u0915\u094D\u0937", true},
                                  {"consonant and vowel sign", L"\u0915\u093F", true},
                                  {"nukta, virama", L"\u0915\u093C\u094D", true},
                                  {"vowel sign then anusvara", L"\u0915\u0940\u0902", true},
                                  {"half form with joiner", L"\u0915\u094D\u200D\u0937", true},
                                  {"dotted circle carries a sign", L"\u25CC\u093F", true},
                                  {"independent vowel with candra", L"\u0905\u0901", true},
                                  {"vowel sign alone", L"\u093F", false},
                                  {"vowel sign after a space", L"\u0915 \u093F", false},
                                  {"vowel sign after virama", L"\u0915\u094D\u093F", false},
                                  {"nukta alone", L"\u093C", false},
                                  {"virama after virama", L"\u0915\u094D\u094D", false},
                                  {"vowel sign after anusvara", L"\u0915\u0902\u093F", false},
                                  {"vowel sign after a digit", L"\u0967\u093F", false},
                                  {"latin then vowel sign", L"a\u093F", false},
                              });
  // Other Indic scripts by the same categories.
  expectJudgements(L'\u0995', {{"bengali conjunct", L"\u0995\u09CD\u09A4", true},
                               {"bengali vowel sign alone", L"\u09BF", false}});
  expectJudgements(L'\u0B95',
                   {{"tamil syllable", L"\u0B95\u0BC1", true}, {"tamil vowel sign alone", L"\u0BC1", false}});
  expectJudgements(L'\u0D9A', {{"sinhala al-lakuna", L"\u0D9A\u0DCA", true},
                               {"sinhala al-lakuna alone", L"\u0DCA", false}});
  expectJudgements(L'\u0A15', {{"gurmukhi addak before consonant", L"\u0A2A\u0A71\u0A15\u0A3E", true},
                               {"gurmukhi vowel sign after addak", L"\u0A71\u0A3E", false}});
}

TEST(SequenceValidity, SouthEastAsianSyllables) {
  expectJudgements(L'\u1780', {{"khmer coeng cluster", L"\u1780\u17D2\u179A", true},
                               {"khmer register shifter then vowel", L"\u1794\u17CA\u17B8", true},
                               {"khmer vowel sign alone", L"\u17B6", false}});
  expectJudgements(L'\u1000', {{"myanmar dot below then asat", L"\u1004\u1037\u103A", true},
                               {"myanmar medials and asat", L"\u1000\u103B\u103D\u1014\u103A", true},
                               {"myanmar vowel sign alone", L"\u102B", false}});
  expectJudgements(L'\u0F40', {{"tibetan subjoined and vowel", L"\u0F66\u0F90\u0F72", true},
                               {"tibetan vowel sign after tsheg", L"\u0F40\u0F0B\u0F72", false}});
}

TEST(SequenceValidity, JudgedOnlyForARejectingScript) {
  const std::wstring invalidThai = L"\u0E48";
  const std::wstring invalidDevanagari = L"\u093F";
  // The judging character's script decides whether anything is judged.
  EXPECT_TRUE(isValidScriptSequence(L'a', invalidThai));
  EXPECT_TRUE(isValidScriptSequence(L'\u05D0', invalidDevanagari));
  EXPECT_TRUE(isValidScriptSequence(L' ', invalidDevanagari));
  EXPECT_TRUE(isValidScriptSequence(static_cast<wchar_t>(0x110000), invalidThai));
  // Any rejecting script then judges every rejecting run of the text.
  EXPECT_FALSE(isValidScriptSequence(L'\u0915', L"\u0E01\u0E34 \u0E48"));
  EXPECT_FALSE(isValidScriptSequence(L'\u0E01', L"abc \u0915\u093F \u0E01 \u093F"));
  EXPECT_TRUE(isValidScriptSequence(L'\u0E01', L"abc \u0915\u093F \u0E01\u0E34 \u05D0\u05B8"));
  EXPECT_TRUE(isValidScriptSequence(L'\u0E01', L""));
  // Values that are no characters neither crash nor carry a mark.
  EXPECT_FALSE(isValidScriptSequence(L'\u0E01', std::wstring{static_cast<wchar_t>(0xD800), L'\u0E34'}));
  EXPECT_FALSE(isValidScriptSequence(L'\u0E01', std::wstring{static_cast<wchar_t>(-1), L'\u0E34'}));
}

}  // namespace
