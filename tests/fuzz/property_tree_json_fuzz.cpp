// Feeds arbitrary bytes to the JSON string reader: it must return a tree or
// null, never crash, hang or leak; a tree it returns must write out.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#define BOOST_BIND_GLOBAL_PLACEHOLDERS
#include <boost/property_tree/json_parser.hpp>

#include "pal/property_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<boost::property_tree::wptree> tree(
      Halvex::Tessaran::PAL::PropertyTree::fromJsonStringWithUtf8Encoding(text));
  if (tree && tree->data().empty()) {
    // Whatever the reader accepts as an object or array, the writer takes.
    std::wostringstream out;
    boost::property_tree::write_json(out, *tree);
  }
  return 0;
}
