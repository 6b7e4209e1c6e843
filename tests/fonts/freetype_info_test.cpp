// Font files read with FreeType: the records of their faces, the folders'
// font files, the face registry, the added files and the three face helpers.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "fonts/freetype_info.h"
#include "pal/freetype_font_utils.h"
#include "support/temp_dir.h"

using namespace Halvex::Tessaran::PAL;
using FontUtils::FontInformation;
namespace fs = std::filesystem;

namespace {

std::string fontsDir() {
  const char* dir = std::getenv("KVPAL_TEST_FONTS");
  return dir ? std::string(dir) + "/freetype/" : std::string();
}

std::vector<FontInformation> read(const std::string& file) {
  return FreeTypeFontUtils::getFontInformationFromFile(fontsDir() + file);
}

std::vector<std::wstring> fullNames(const std::vector<FontInformation>& list) {
  std::vector<std::wstring> out;
  for (const auto& f : list) out.push_back(f.fullName);
  return out;
}

// The face the registry holds for the last record read.
FT_Face lastFace() {
  const auto& faces = detail::faceRegistry().faces;
  return faces.empty() ? nullptr : faces.back()->face;
}

class FreeTypeInfo : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(fontsDir().empty()) << "KVPAL_TEST_FONTS is not set"; }
};

TEST_F(FreeTypeInfo, RecordsOfTheFaces) {
  const struct {
    const char* file;
    std::wstring family, style, fullName;
    bool bold, italic;
    int weight;
    FontUtils::FontPitch pitch;
    int charset;
  } cases[] = {
      // The Big5 map comes second: only the first map counts.
      {"spacing.ttf", L"Kvft Spacing", L"Bold", L"Kvft Spacing Bold", true, false, 7,
       FontUtils::VariablePitch, DEFAULT_CHARSET},
      {"big5.ttf", L"Kvft Big5", L"Italic", L"Kvft Big5 Italic", false, true, 4, FontUtils::VariablePitch,
       CHINESEBIG5_CHARSET},
      {"symbol.ttf", L"Kvft Symbol", L"Regular", L"Kvft Symbol Regular", false, false, 4,
       FontUtils::VariablePitch, DEFAULT_CHARSET},
      {"mono.ttf", L"Kvft Mono", L"Bold Italic", L"Kvft Mono Bold Italic", true, true, 7,
       FontUtils::FixedPitch, DEFAULT_CHARSET},
  };
  for (const auto& c : cases) {
    const std::vector<FontInformation> list = read(c.file);
    ASSERT_EQ(list.size(), 1u) << c.file;
    const FontInformation& f = list[0];
    EXPECT_EQ(f.faceName, c.family) << c.file;
    EXPECT_EQ(f.localFaceName, c.family) << c.file;
    EXPECT_EQ(f.styleName, c.style) << c.file;
    EXPECT_EQ(f.fullName, c.fullName) << c.file;
    EXPECT_EQ(f.attributes.bold, c.bold) << c.file;
    EXPECT_EQ(f.attributes.italic, c.italic) << c.file;
    EXPECT_FALSE(f.attributes.underline) << c.file;
    EXPECT_EQ(f.weight, c.weight) << c.file;
    EXPECT_EQ(f.pitch, c.pitch) << c.file;
    EXPECT_EQ(f.family, FontUtils::DontCare) << c.file;
    EXPECT_EQ(f.charset, c.charset) << c.file;
    EXPECT_EQ(f.filePath, fs::path(fontsDir() + c.file).wstring()) << c.file;
    EXPECT_EQ(f.fileName, fs::path(c.file).wstring()) << c.file;
  }
}

TEST_F(FreeTypeInfo, CollectionSkipsTheFaceThatDoesNotOpen) {
  // The third face has no style name: its full name is the family alone.
  EXPECT_EQ(fullNames(read("collection.ttc")),
            (std::vector<std::wstring>{L"Kvft Coll One Regular", L"Kvft Coll Three"}));
  EXPECT_EQ(read("collection.ttc").back().styleName, L"");
}

TEST_F(FreeTypeInfo, FilesWithoutFaces) {
  kvpal::test::TempDir dir;
  const std::string text = dir.path() + "/text.ttf", fifo = dir.path() + "/fifo.ttf";
  { std::ofstream(text) << "plain text, not a font\n"; }
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // A FIFO is not waited on; a folder, a missing file and text are no fonts.
  for (const std::string& file : {text, fifo, dir.path(), dir.path() + "/missing.ttf", std::string()})
    EXPECT_TRUE(FreeTypeFontUtils::getFontInformationFromFile(file).empty()) << file;
  EXPECT_TRUE(detail::faceRegistry().faces.empty());
}

// Narrow paths are text in the system code page: 1252 on this en-US system.
TEST_F(FreeTypeInfo, NarrowPathIsInTheSystemCodePage) {
  kvpal::test::TempDir dir;
  const std::string utf8 = dir.path() + "/caf\xC3\xA9.ttf";
  fs::copy_file(fontsDir() + "spacing.ttf", utf8);
  const std::vector<FontInformation> list =
      FreeTypeFontUtils::getFontInformationFromFile(dir.path() + "/caf\xE9.ttf");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].fileName, L"caf\u00E9.ttf");
  EXPECT_EQ(list[0].filePath, fs::path(dir.path()).wstring() + L"/caf\u00E9.ttf");
}

TEST_F(FreeTypeInfo, RegistryKeepsEveryFaceReadInOrder) {
  read("spacing.ttf");
  read("collection.ttc");
  read("spacing.ttf");  // a second reading registers again
  const detail::FaceRegistry& registry = detail::faceRegistry();
  std::vector<std::wstring> names;
  for (const auto& font : registry.faces) {
    names.push_back(font->fullName);
    EXPECT_NE(font->face, nullptr);
  }
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Kvft Spacing Bold", L"Kvft Coll One Regular",
                                              L"Kvft Coll Three", L"Kvft Spacing Bold"}));
  ASSERT_EQ(registry.byFamily.size(), 3u);
  const auto& spacing = registry.byFamily.at(L"Kvft Spacing");
  ASSERT_EQ(spacing.size(), 2u);
  EXPECT_EQ(spacing[0], registry.faces[0]);
  EXPECT_EQ(spacing[1], registry.faces[3]);
  EXPECT_TRUE(spacing[0]->bold);
  EXPECT_FALSE(spacing[0]->italic);
  EXPECT_EQ(registry.byFamily.at(L"Kvft Coll Three")[0], registry.faces[2]);
}

// The registry keeps faces open for the life of the process; descriptors
// held for them would run out with a large font folder.
TEST_F(FreeTypeInfo, OpenFacesHoldNoDescriptors) {
  const auto descriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  const auto before = descriptors();
  read("collection.ttc");
  read("spacing.ttf");
  ASSERT_EQ(detail::faceRegistry().faces.size(), 3u);
  EXPECT_EQ(descriptors(), before);
}

// A folder's font files: regular files (links followed) ending in .ttf or .ttc
// in any letter case, in path order.
TEST_F(FreeTypeInfo, FontFilesOfAFolder) {
  kvpal::test::TempDir dir;
  const fs::path d = dir.path();
  fs::copy_file(fontsDir() + "spacing.ttf", d / "B.TTF");
  fs::copy_file(fontsDir() + "collection.ttc", d / "a.ttc");
  fs::copy_file(fontsDir() + "big5.ttf", d / "c.otf");
  fs::copy_file(fontsDir() + "mono.ttf", d / "d.ttf.bak");
  fs::create_directory(d / "e.ttf");
  fs::create_symlink(d / "B.TTF", d / "f.Ttf");
  fs::create_symlink(d / "missing", d / "g.ttf");
  ASSERT_EQ(::mkfifo((d / "h.ttf").c_str(), 0600), 0);
  fs::create_directory(d / "sub");
  fs::copy_file(fontsDir() + "mono.ttf", d / "sub" / "i.ttf");
  const std::vector<boost::filesystem::path> expected = {(d / "B.TTF").string(), (d / "a.ttc").string(),
                                                         (d / "f.Ttf").string()};
  EXPECT_EQ(detail::fontFilesOfFolder(d.string()), expected);
  EXPECT_TRUE(detail::fontFilesOfFolder((d / "missing").string()).empty());
  EXPECT_TRUE(detail::fontFilesOfFolder((d / "B.TTF").string()).empty());

  // The folders' faces come first, then those of the given files in order.
  const std::set<boost::filesystem::path> files = {fontsDir() + "mono.ttf", fontsDir() + "big5.ttf"};
  EXPECT_EQ(fullNames(detail::buildFreeTypeFontList({(d / "missing").string(), d.string()}, files)),
            (std::vector<std::wstring>{L"Kvft Spacing Bold", L"Kvft Coll One Regular", L"Kvft Coll Three",
                                       L"Kvft Spacing Bold", L"Kvft Big5 Italic", L"Kvft Mono Bold Italic"}));
}

TEST_F(FreeTypeInfo, AddedFilesJoinTheListOnce) {
  kvpal::test::TempDir dir;
  const fs::path d = dir.path();
  fs::copy_file(fontsDir() + "mono.ttf", d / "mono.ttf");
  const fs::path saved = fs::current_path();
  fs::current_path(d);
  // Normalised before it is resolved against the current folder, so the
  // missing "x" does not matter.
  const bool added = FreeTypeFontUtils::addExternalFont("x/../mono.ttf");
  fs::current_path(saved);
  EXPECT_TRUE(added);
  EXPECT_FALSE(FreeTypeFontUtils::addExternalFont((d / "mono.ttf").string()));
  EXPECT_FALSE(FreeTypeFontUtils::addExternalFont((d / "missing.ttf").string()));
  // No package font folder is configured in this process.
  EXPECT_EQ(fullNames(FreeTypeFontUtils::getAllFontsInformation()),
            std::vector<std::wstring>{L"Kvft Mono Bold Italic"});
  EXPECT_EQ(FreeTypeFontUtils::getAllFontsInformation()[0].filePath, (d / "mono.ttf").wstring());

  // Another file: every face read so far is closed and the list built again,
  // the added files in path order.
  read("big5.ttf");
  EXPECT_EQ(detail::faceRegistry().faces.size(), 2u);
  fs::copy_file(fontsDir() + "spacing.ttf", d / "a.ttf");
  EXPECT_TRUE(FreeTypeFontUtils::addExternalFont((d / "a.ttf").string()));
  EXPECT_TRUE(detail::faceRegistry().faces.empty());
  EXPECT_TRUE(detail::faceRegistry().byFamily.empty());
  EXPECT_EQ(fullNames(FreeTypeFontUtils::getAllFontsInformation()),
            (std::vector<std::wstring>{L"Kvft Spacing Bold", L"Kvft Mono Bold Italic"}));
  EXPECT_EQ(detail::faceRegistry().faces.size(), 2u);
  // The list is kept: asking again reads nothing.
  FreeTypeFontUtils::getAllFontsInformation();
  EXPECT_EQ(detail::faceRegistry().faces.size(), 2u);
}

TEST_F(FreeTypeInfo, CharsetOfTheFirstCharacterMap) {
  const struct {
    const char* file;
    Charset charset;
  } cases[] = {
      {"spacing.ttf", DEFAULT_CHARSET}, {"big5.ttf", CHINESEBIG5_CHARSET}, {"symbol.ttf", DEFAULT_CHARSET}};
  for (const auto& c : cases) {
    read(c.file);
    ASSERT_NE(lastFace(), nullptr) << c.file;
    EXPECT_EQ(get_font_charset(lastFace()), c.charset) << c.file;
  }
}

TEST_F(FreeTypeInfo, FirstCharCodeOffsetOfASymbolFace) {
  read("spacing.ttf");
  EXPECT_EQ(get_first_char_code_offset(lastFace()), 0u);
  read("symbol.ttf");
  FT_Face symbol = lastFace();
  ASSERT_NE(symbol, nullptr);
  // FreeType makes the Unicode map the active one when it opens the face.
  ASSERT_EQ(symbol->charmap->encoding, FT_ENCODING_UNICODE);
  EXPECT_EQ(get_first_char_code_offset(symbol), 0xF000u);
  EXPECT_EQ(symbol->charmap->encoding, FT_ENCODING_MS_SYMBOL);
}

TEST_F(FreeTypeInfo, TextSpacingDelta) {
  read("spacing.ttf");  // "x" is 600 units wide
  FT_Face spacing = lastFace();
  read("no-x.ttf");  // .notdef is 500
  FT_Face noX = lastFace();
  ASSERT_NE(spacing, nullptr);
  ASSERT_NE(noX, nullptr);
  const FT_Matrix identity{0x10000, 0, 0, 0x10000};
  const struct {
    FT_Face face;
    double factor;
    FT_Pos x;
  } cases[] = {
      {spacing, 1.5, 300}, {spacing, 0.5, -300}, {spacing, 1.001, 0}, {spacing, 2.0015, 600},
      {spacing, 0.999, 0}, {noX, 1.5, 250},      {noX, 3.0, 1000},
  };
  for (const auto& c : cases) {
    FT_Matrix matrix = identity;
    FT_Vector delta{0, 0};
    const FT_Vector v = get_text_spacing_delta(c.factor, c.face, matrix, delta);
    EXPECT_EQ(v.x, c.x) << c.factor;
    EXPECT_EQ(v.y, 0) << c.factor;
  }
}

TEST_F(FreeTypeInfo, TextSpacingDeltaSetsTheTransformUnlessTheFactorIsOne) {
  read("spacing.ttf");
  FT_Face face = lastFace();
  ASSERT_NE(face, nullptr);
  FT_Matrix shear{0x10000, 0x4000, 0, 0x10000};
  FT_Vector offset{64, 128};
  FT_Matrix got;
  FT_Vector gotDelta;

  FT_Vector v = get_text_spacing_delta(1.0, face, shear, offset);
  EXPECT_EQ(v.x, 0);
  EXPECT_EQ(v.y, 0);
  FT_Get_Transform(face, &got, &gotDelta);
  EXPECT_EQ(got.xy, 0);  // still FreeType's identity
  EXPECT_EQ(gotDelta.x, 0);

  v = get_text_spacing_delta(1.5, face, shear, offset);
  FT_Get_Transform(face, &got, &gotDelta);
  EXPECT_EQ(got.xy, 0x4000);
  EXPECT_EQ(gotDelta.x, 64);
  EXPECT_EQ(gotDelta.y, 128);
}

}  // namespace
