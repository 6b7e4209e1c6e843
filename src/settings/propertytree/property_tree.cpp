// JSON and XML property tree files with one fixed encoding and error policy.
#include "pal/property_tree.h"

// The JSON parser of this Boost release still pulls in the global bind
// placeholders; keep them without the deprecation note.
#define BOOST_BIND_GLOBAL_PLACEHOLDERS
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <fstream>
#include <iostream>
#include <sstream>

#include "pal/unicode_convert.h"
#include "settings/propertytree/nesting_limit.h"
#include "base/utf16.h"
#include "settings/propertytree/property_tree_text.h"
#include "base/utf8.h"

namespace Halvex::Tessaran::PAL {

namespace pt = boost::property_tree;

namespace detail {

namespace {

constexpr const char* kTooDeep = "nesting too deep";

// False when the stream fails while reading (a directory opens on Linux but
// cannot be read).
bool readAll(std::istream& in, std::string& bytes) {
  char chunk[1 << 16];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
  return !in.bad();
}

// The JSON writer escapes every character above U+00FF as one \uXXXX,
// clamped to \uFFFF. Handing it UTF-16 units gives the escape pairs that keep
// code points beyond the BMP, and U+FFFD for invalid values keeps the file
// readable (a lone surrogate escape is a syntax error).
std::wstring asUtf16Units(const std::wstring& text) {
  const std::u16string units = wideToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

pt::wptree withUtf16Units(const pt::wptree& tree) {
  pt::wptree out(asUtf16Units(tree.data()));
  for (const auto& [key, child] : tree) out.push_back({asUtf16Units(key), withUtf16Units(child)});
  return out;
}

// One wide character per code point, a byte-order mark kept as U+FEFF and a
// zero byte as U+0000. Unlike the library's general conversion nothing is
// replaced by U+FFFD: ill-formed bytes are bad content.
std::wstring utf8ToWideStrict(std::string_view utf8) {
  std::wstring text(utf8.size(), L'\0');
  const Utf8Result decoded = utf8ToUtf32(utf8.data(), utf8.size(), text.data());
  if (decoded.replaced) throw pt::json_parser_error("invalid UTF-8 byte sequence", "", 0);
  text.resize(decoded.written);
  return text;
}

}  // namespace

std::unique_ptr<pt::wptree> parseJsonText(std::string_view utf8) {
  std::wstring text = utf8ToWideStrict(utf8);
  if (!jsonNestingWithinLimit(text)) throw pt::json_parser_error(kTooDeep, "", 0);
  std::wistringstream in(std::move(text));
  auto tree = std::make_unique<pt::wptree>();
  pt::read_json(in, *tree);
  return tree;
}

pt::ptree parseXmlText(const std::string& bytes, const std::string& fileName) {
  if (!xmlNestingWithinLimit(bytes)) throw pt::xml_parser_error(kTooDeep, fileName, 0);
  std::istringstream in(bytes);
  pt::ptree tree;
  pt::xml_parser::read_xml_internal(in, tree, 0, fileName);
  return tree;
}

}  // namespace detail

namespace PropertyTree {

pt::wptree* fromJsonFileWithUtf8Encoding(const boost::filesystem::path& file) {
  std::ifstream in(file.string(), std::ios::binary);
  std::string bytes;
  if (!in.is_open() || !detail::readAll(in, bytes)) return nullptr;
  try {
    return detail::parseJsonText(bytes).release();
  } catch (const pt::json_parser_error& e) {
    std::cerr << e.message() << " path: " << file.string() << std::endl;
    return nullptr;
  }
}

pt::wptree* fromJsonStringWithUtf8Encoding(const std::string& utf8Text) {
  try {
    return detail::parseJsonText(utf8Text).release();
  } catch (const pt::json_parser_error&) {
    return nullptr;
  }
}

bool toJsonFileWithUtf8Encoding(const boost::filesystem::path& file, const pt::wptree& tree) {
  std::ofstream out(file.string(), std::ios::binary | std::ios::trunc);
  if (!out.is_open()) return false;
  try {
    std::wostringstream text;
    pt::write_json(text, detail::withUtf16Units(tree));
    // The printed text holds no zero character: the writer escapes it.
    std::string bytes;
    if (!UnicodeConvert::wideCharToUtf8(text.str().c_str(), bytes) ||
        !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush())
      throw pt::json_parser_error("write error", "", 0);
  } catch (const pt::json_parser_error& e) {
    std::cerr << e.message() << std::endl;
    return false;
  } catch (const pt::ptree_bad_path& e) {
    std::cerr << e.what() << std::endl;
    return false;
  }
  return true;
}

pt::ptree fromXml(const wchar_t* file) {
  std::string path;
  UnicodeConvert::wideCharToUtf8(file, path);  // empty for a null pointer: cannot open
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) throw pt::xml_parser_error("cannot open file", path, 0);
  std::string bytes;
  if (!detail::readAll(in, bytes)) throw pt::xml_parser_error("read error", path, 0);
  return detail::parseXmlText(bytes, path);
}

}  // namespace PropertyTree

}  // namespace Halvex::Tessaran::PAL
