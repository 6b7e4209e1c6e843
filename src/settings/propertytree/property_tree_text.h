// Parsing of JSON and XML text held in memory, shared by the file and string
// readers and reachable by the fuzz targets.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Throws json_parser_error for ill-formed UTF-8, too deep nesting and syntax
// errors; never returns a partly filled tree.
std::unique_ptr<boost::property_tree::wptree> parseJsonText(std::string_view utf8);

// The tree of JSON text already decoded to one wide character per code
// point. Throws json_parser_error for syntax errors and too deep nesting.
boost::property_tree::wptree readJsonTree(std::wstring_view text);

// Throws xml_parser_error for too deep nesting and parse errors; fileName
// only labels the errors.
boost::property_tree::ptree parseXmlText(const std::string& bytes, const std::string& fileName);

}  // namespace Halvex::Tessaran::PAL::detail
