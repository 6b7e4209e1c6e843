// JSON and XML property tree files: encodings, error lines on standard
// error, ownership of results and the handling of malformed input.
#include "pal/property_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <boost/property_tree/detail/xml_parser_error.hpp>
#include <boost/property_tree/exceptions.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace pt = boost::property_tree;
namespace ptf = Halvex::Tessaran::PAL::PropertyTree;

namespace {

std::unique_ptr<pt::wptree> fromString(const std::string& text) {
  return std::unique_ptr<pt::wptree>(ptf::fromJsonStringWithUtf8Encoding(text));
}

std::string repeated(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

std::string nestedArrays(int depth) {
  return repeated("[", depth) + repeated("]", depth);
}

class PropertyTreeFiles : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = tmp_.path(); }

  std::string pathTo(const std::string& name) const { return (dir_ / name).string(); }

  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(pathTo(name), std::ios::binary) << bytes;
    return pathTo(name);
  }

  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  std::unique_ptr<pt::wptree> fromFile(const std::string& path) {
    return std::unique_ptr<pt::wptree>(ptf::fromJsonFileWithUtf8Encoding(path));
  }

  kvpal::test::TempDir tmp_{"kvpal-ptree"};
  std::filesystem::path dir_;
};

TEST(PropertyTreeJsonString, DecodesUtf8IntoOneWideCharacterPerCodePoint) {
  struct Case {
    const char* json;
    std::wstring key;
    std::wstring value;
  } cases[] = {
      {"{\"k\xC3\xA9y\": \"\xE4\xB8\xAD\xE6\x96\x87\"}", L"k\u00e9y", L"\u4e2d\u6587"},
      {"{\"e\": \"\xF0\x9F\x98\x80\"}", L"e", std::wstring(1, wchar_t(0x1F600))},
      {"{\"e\": \"\xF4\x8F\xBF\xBF\xEF\xBF\xBD\"}", L"e", std::wstring{wchar_t(0x10FFFF), wchar_t(0xFFFD)}},
      {"{\"e\": \"\\u00e9\\u20AC\"}", L"e", L"\u00e9\u20ac"},
      {"{\"e\": \"\\uD83D\\uDE00\"}", L"e", std::wstring(1, wchar_t(0x1F600))},
      // The byte-order mark reaches the parser, which skips it.
      {"\xEF\xBB\xBF{\"b\": \"1\"}", L"b", L"1"},
      // Numbers stay text, however large.
      {"{\"n\": 1e999999999}", L"n", L"1e999999999"},
      {"{\"n\": -0.5E+3}", L"n", L"-0.5E+3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    auto tree = fromString(c.json);
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->size(), 1u);
    EXPECT_EQ(tree->begin()->first, c.key);
    EXPECT_EQ(tree->begin()->second.data(), c.value);
  }
}

TEST(PropertyTreeJsonString, KeepsDocumentOrderAndArraysAsEmptyKeys) {
  auto tree = fromString(R"({"z": "1", "a": {"m": ["x", "y"]}, "z": "2"})");
  ASSERT_NE(tree, nullptr);
  std::wstring keys;
  for (const auto& [key, child] : *tree) keys += key + L";";
  EXPECT_EQ(keys, L"z;a;z;");
  const auto& array = tree->get_child(L"a.m");
  ASSERT_EQ(array.size(), 2u);
  EXPECT_EQ(array.begin()->first, L"");
  EXPECT_EQ(array.back().second.data(), L"y");
}

TEST(PropertyTreeJsonString, MalformedInputIsNull) {
  const std::string deep = nestedArrays(513);
  const std::string cases[] = {
      "",
      "{\"a\": ",
      "{\"a\": \"b\"",
      "{\"a\" \"b\"}",
      "{} x",
      "/* unterminated {}",
      "{\"a\": \"1\",}",
      "{\"a\": \"\\x\"}",
      "{\"a\": \"\\u12\"}",
      "{\"a\": \"1\" / \"2\"}",
      "{\"a\": \"\xC0\xAF\"}",          // overlong '/'
      "{\"a\": \"\xED\xA0\x80\"}",      // encoded surrogate
      "{\"a\": \"\xF4\x90\x80\x80\"}",  // above U+10FFFF
      "{\"a\": \"\x80\"}",              // stray continuation byte
      "{\"a\": \"\xFF\"}",
      "{\"a\": \"\xE2\x82",     // cut sequence at the end
      "{\"a\": \"\xE2\x82\"}",  // cut sequence before a quote
      deep,
      "{\"a\":" + nestedArrays(600) + "}",
  };
  for (const auto& json : cases) {
    SCOPED_TRACE(json.substr(0, 40));
    EXPECT_EQ(fromString(json), nullptr);
  }
}

// Stored files were written for a reader that took more than standard JSON.
TEST(PropertyTreeJsonString, AcceptsTheFormsOfStoredFiles) {
  struct Case {
    std::string json;
    std::wstring key;
    std::wstring value;
  } cases[] = {
      {"// note\n{\"a\": \"1\"}", L"a", L"1"},
      {"{\"a\": /* note */ \"1\" /* another */}", L"a", L"1"},
      {"{\"a\": \"1\"} // to the end", L"a", L"1"},
      {"{\"a\": 12 // after a number\n}", L"a", L"12"},
      {"{\"a\": \"x\" \"y\"}", L"a", L"xy"},
      {"{\"a\" /* c */ \"b\": \"x\"\n  // c\n  \"y\"}", L"ab", L"xy"},
      {"{\"a\": \"\x01\ttab\nline\"}", L"a", L"\x01\ttab\nline"},
      {std::string("{\"a\": \"b\0\"}", 11), L"a", std::wstring(L"b\0", 2)},
      {"\v{\v\"a\"\f:\v\"1\"\v}\v", L"a", L"1"},
      {"{\"a\": \"\\uD800\"}", L"a", std::wstring(1, wchar_t(0xD800))},
      {"{\"a\": \"\\uDC00x\"}", L"a", std::wstring{wchar_t(0xDC00), L'x'}},
      {"{\"a\": \"\\uD800\\u0041\"}", L"a", std::wstring{wchar_t(0xD800), L'A'}},
      {"{\"a\": \"\\uD83D\" \"\\uDE00\"}", L"a", std::wstring(1, wchar_t(0x1F600))},
      {"[true, null]", L"", L"true"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    auto tree = fromString(c.json);
    ASSERT_NE(tree, nullptr);
    ASSERT_FALSE(tree->empty());
    EXPECT_EQ(tree->begin()->first, c.key);
    EXPECT_EQ(tree->begin()->second.data(), c.value);
  }
  // A bare value is a whole document, as the newer reader has it.
  auto bare = fromString("// a bare value\n\"x\" \"y\"");
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->data(), L"xy");
}

TEST(PropertyTreeJsonString, NestingUpToTheLimitIsAccepted) {
  auto tree = fromString(nestedArrays(512));
  ASSERT_NE(tree, nullptr);
  int depth = 0;
  for (const pt::wptree* node = tree.get(); !node->empty(); node = &node->front().second) ++depth;
  EXPECT_EQ(depth, 511);  // the outermost array is the root itself

  // Brackets inside strings, also after an escaped quote, are text.
  auto flat = fromString("{\"s\": \"\\\"" + repeated("[{", 2000) + "\"}");
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(flat->get<std::wstring>(L"s").size(), 4001u);
}

TEST_F(PropertyTreeFiles, MissingOrUnreadableFileIsSilentNull) {
  for (const std::string& path : {pathTo("missing.json"), dir_.string()}) {
    SCOPED_TRACE(path);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fromFile(path), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

TEST_F(PropertyTreeFiles, BadContentPrintsMessageAndPath) {
  struct Case {
    const char* bytes;
    const char* message;
  } cases[] = {
      {"{\"a\": }", "expected value"},
      {"{\"a\": \"b\"", "expected ',' or '}'"},
      {"{\"a\": \"\xC3\"}", "invalid UTF-8 byte sequence"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string path = write("bad.json", c.bytes);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fromFile(path), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(c.message) + " path: " + path + "\n");
  }
  // Brackets in comments are no nesting.
  const std::string commented = write("commented.json", "/*" + nestedArrays(1000) + "*/ {\"a\": \"1\"}");
  testing::internal::CaptureStderr();
  EXPECT_NE(fromFile(commented), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  const std::string deep = write("deep.json", nestedArrays(100000));
  testing::internal::CaptureStderr();
  EXPECT_EQ(fromFile(deep), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "nesting too deep path: " + deep + "\n");
}

TEST_F(PropertyTreeFiles, ReadsFileWithNonAsciiNameAndContent) {
  const std::string path = write("r\xC3\xA9glages.json", "{\"caf\xC3\xA9\": {\"x\": [\"\xE2\x82\xAC\"]}}");
  testing::internal::CaptureStderr();
  auto tree = fromFile(path);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->get_child(L"caf\u00e9.x").front().second.data(), L"\u20ac");
}

TEST_F(PropertyTreeFiles, WritesPrettyUtf8WithoutByteOrderMark) {
  pt::wptree tree;
  tree.put(L"name", L"caf\u00e9");
  tree.put(L"group.euro", L"\u20ac");
  tree.put(L"group.smile", std::wstring(1, wchar_t(0x1F600)));
  tree.put(L"ctl", L"a\"b\\c/\n");
  const std::string path = pathTo("out.json");
  testing::internal::CaptureStderr();
  ASSERT_TRUE(ptf::toJsonFileWithUtf8Encoding(path, tree));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  // U+00E9 is written as UTF-8 bytes; higher characters as escapes, those
  // beyond U+FFFF as a surrogate pair so that nothing is lost.
  EXPECT_EQ(read(path),
            "{\n"
            "    \"name\": \"caf\xC3\xA9\",\n"
            "    \"group\": {\n"
            "        \"euro\": \"\\u20AC\",\n"
            "        \"smile\": \"\\uD83D\\uDE00\"\n"
            "    },\n"
            "    \"ctl\": \"a\\\"b\\\\c\\/\\n\"\n"
            "}\n");
  auto back = fromFile(path);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(*back, tree);
}

TEST_F(PropertyTreeFiles, InvalidWideValuesAreWrittenAsReplacementCharacter) {
  pt::wptree tree;
  tree.put(L"lone", std::wstring(1, wchar_t(0xD800)));
  tree.put(L"big", std::wstring(1, wchar_t(0x110000)));
  const std::string path = pathTo("odd.json");
  ASSERT_TRUE(ptf::toJsonFileWithUtf8Encoding(path, tree));
  auto back = fromFile(path);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->get<std::wstring>(L"lone"), L"\uFFFD");
  EXPECT_EQ(back->get<std::wstring>(L"big"), L"\uFFFD");
}

// The settings already on disk survive a tree that cannot be written: the
// text replaces the file only when it is complete.
TEST_F(PropertyTreeFiles, UnrepresentableTreeLeavesTheFileAsItWas) {
  pt::wptree rootValue(L"v");
  pt::wptree mixed;
  mixed.put(L"a", L"1");
  mixed.put(L"a.b", L"2");
  const std::string old = "{\"old\": \"content\"}\n";
  for (const pt::wptree* tree : {&rootValue, &mixed}) {
    const std::string path = write("existing.json", old);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ptf::toJsonFileWithUtf8Encoding(path, *tree));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ptree contains data that cannot be represented in JSON format\n");
    EXPECT_EQ(read(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1) << "no temporary file left";
  }
  // A tree that can be written replaces the file and keeps its permissions.
  const std::string path = pathTo("existing.json");
  namespace sfs = std::filesystem;
  sfs::permissions(path, sfs::perms::owner_read | sfs::perms::owner_write | sfs::perms::group_read);
  pt::wptree good;
  good.put(L"new", L"1");
  ASSERT_TRUE(ptf::toJsonFileWithUtf8Encoding(path, good));
  EXPECT_EQ(read(path), "{\n    \"new\": \"1\"\n}\n");
  EXPECT_EQ(sfs::status(path).permissions(),
            sfs::perms::owner_read | sfs::perms::owner_write | sfs::perms::group_read);
}

// A FIFO is refused at once instead of waiting for a writer that never
// comes; the child's time limit turns a hang into a failure.
TEST_F(PropertyTreeFiles, PipesAreRefusedWithoutWaiting) {
  const std::string pipe = pathTo("pipe.json");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::wstring widePipe = dir_.wstring() + L"/pipe.json";
  const auto outcome = kvpal::test::runInChild([&] {
    if (fromFile(pipe) != nullptr) return 1;
    try {
      ptf::fromXml(widePipe.c_str());
      return 2;
    } catch (const pt::xml_parser::xml_parser_error& e) {
      return e.message() == "cannot open file" ? 0 : 3;
    }
  });
  EXPECT_EQ(outcome.signal, 0) << "the reader waited on the FIFO";
  EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
}

TEST_F(PropertyTreeFiles, WriteFailures) {
  pt::wptree tree;
  tree.put(L"a", L"1");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ptf::toJsonFileWithUtf8Encoding(pathTo("no/such/dir.json"), tree));
  EXPECT_FALSE(ptf::toJsonFileWithUtf8Encoding(dir_.string(), tree));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is absent";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ptf::toJsonFileWithUtf8Encoding("/dev/full", tree));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "write error\n");
}

TEST_F(PropertyTreeFiles, XmlKeepsBytesCommentsAndWhitespace) {
  const std::string path = write("caf\xC3\xA9.xml",
                                 "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY e \"x>\">]>"
                                 "<r a=\"1 > 0\"><!-- note --><v> caf\xC3\xA9 </v><e/><![CDATA[<z>]]></r>");
  const std::wstring widePath = dir_.wstring() + L"/caf\u00e9.xml";
  const pt::ptree tree = ptf::fromXml(widePath.c_str());
  EXPECT_EQ(tree.get<std::string>("r.<xmlattr>.a"), "1 > 0");
  EXPECT_EQ(tree.get<std::string>("r.<xmlcomment>"), " note ");
  EXPECT_EQ(tree.get<std::string>("r.v"), " caf\xC3\xA9 ");
  EXPECT_EQ(tree.get<std::string>("r.e"), "");
  EXPECT_EQ(tree.get<std::string>("r"), "<z>");
}

TEST_F(PropertyTreeFiles, XmlFailuresThrow) {
  struct Unreadable {
    std::wstring path;
    const char* message;
  } unreadable[] = {
      {dir_.wstring() + L"/missing.xml", "cannot open file"},
      {dir_.wstring(), "read error"},  // a directory opens on Linux
  };
  for (const auto& c : unreadable) {
    try {
      ptf::fromXml(c.path.c_str());
      ADD_FAILURE() << "no exception for " << c.message;
    } catch (const pt::xml_parser::xml_parser_error& e) {
      EXPECT_EQ(e.message(), c.message);
    }
  }

  struct Case {
    std::string bytes;
    const char* message;
  } cases[] = {
      {"<a><b></b>", "unexpected end of data"},
      {"<a><b></a>", "unexpected end of data"},
      {"<a></a></b>", "expected element name"},
      {"<a b=\"1></a>", "expected ' or \""},
      {repeated("<a>", 513) + repeated("</a>", 513), "nesting too deep"},
      // A quoted "/>" does not close the tag.
      {repeated("<a x='/>'>", 100000), "nesting too deep"},
      // A quote in a tag name is part of the name, not the start of a value.
      {"<a\"b>" + repeated("<a>", 200000), "nesting too deep"},
      {"<r>" + repeated("<a\"b x=\"1\" y\"z='2'>", 600), "nesting too deep"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 40));
    write("bad.xml", c.bytes);
    const std::wstring path = dir_.wstring() + L"/bad.xml";
    try {
      ptf::fromXml(path.c_str());
      ADD_FAILURE() << "no exception";
    } catch (const pt::xml_parser::xml_parser_error& e) {
      EXPECT_EQ(e.message(), c.message);
    }
  }
}

TEST_F(PropertyTreeFiles, XmlNestingUpToTheLimitIsAccepted) {
  // Start tags hidden in comments, CDATA and processing instructions do not
  // count.
  const std::string hidden = "<!--" + repeated("<a>", 600) + "-->" + "<![CDATA[" + repeated("<a>", 600) +
                             "]]>" + "<?pi " + repeated("<a>", 600) + "?>";
  write("deep.xml", repeated("<a>", 511) + "<b>" + hidden + "</b>" + repeated("</a>", 511));
  const std::wstring path = dir_.wstring() + L"/deep.xml";
  const pt::ptree tree = ptf::fromXml(path.c_str());
  EXPECT_EQ(tree.get_child(repeated("a.", 511) + "b.<xmlcomment>").data(), repeated("<a>", 600));
}

}  // namespace
