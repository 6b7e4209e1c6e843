// JSON and XML property tree files with one fixed encoding and error policy.
#include "pal/property_tree.h"

// The JSON parser of this Boost release still pulls in the global bind
// placeholders; keep them without the deprecation note.
#define BOOST_BIND_GLOBAL_PLACEHOLDERS
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <cerrno>
#include <iostream>
#include <sstream>

#include "base/utf16.h"
#include "base/utf8.h"
#include "pal/unicode_convert.h"
#include "platform/posix_util.h"
#include "settings/propertytree/nesting_limit.h"
#include "settings/propertytree/property_tree_text.h"

namespace Halvex::Tessaran::PAL {

namespace pt = boost::property_tree;

namespace detail {

namespace {

// The JSON writer escapes every character above U+00FF as one \uXXXX,
// clamped to \uFFFF. Handing it UTF-16 units gives the escape pairs that keep
// code points beyond the BMP; values no UTF-16 text can hold become U+FFFD.
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
  return std::make_unique<pt::wptree>(readJsonTree(utf8ToWideStrict(utf8)));
}

pt::ptree parseXmlText(const std::string& bytes, const std::string& fileName) {
  if (!xmlNestingWithinLimit(bytes)) throw pt::xml_parser_error("nesting too deep", fileName, 0);
  std::istringstream in(bytes);
  pt::ptree tree;
  pt::xml_parser::read_xml_internal(in, tree, 0, fileName);
  return tree;
}

}  // namespace detail

namespace PropertyTree {

pt::wptree* fromJsonFileWithUtf8Encoding(const boost::filesystem::path& file) {
  // A FIFO or device is refused rather than waited on.
  std::string bytes;
  if (!detail::readRegularFile(file.c_str(), bytes)) return nullptr;
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
  // The text goes to a new file that replaces the old one only when it is
  // complete: a tree that cannot be written must not cost the user the
  // settings already on disk.
  detail::ReplacingFile out(file.c_str());
  if (!out.isOpen()) return false;
  try {
    std::wostringstream text;
    pt::write_json(text, detail::withUtf16Units(tree));
    // The printed text holds no zero character: the writer escapes it.
    std::string bytes;
    if (!UnicodeConvert::wideCharToUtf8(text.str().c_str(), bytes) || !out.write(bytes) || !out.commit())
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
  std::string bytes;
  if (!detail::readRegularFile(path.c_str(), bytes))
    throw pt::xml_parser_error(errno == EISDIR ? "read error" : "cannot open file", path, 0);
  return detail::parseXmlText(bytes, path);
}

}  // namespace PropertyTree

}  // namespace Halvex::Tessaran::PAL
