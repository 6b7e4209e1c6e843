// Feeds arbitrary bytes to the XML reader behind PropertyTree::fromXml: it
// must give a tree or throw xml_parser_error, never crash or hang.
#include <boost/property_tree/xml_parser.hpp>
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/propertytree/property_tree_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    Halvex::Tessaran::PAL::detail::parseXmlText(std::string(reinterpret_cast<const char*>(data), size),
                                                "fuzz.xml");
  } catch (const boost::property_tree::xml_parser_error&) {
  }
  return 0;
}
