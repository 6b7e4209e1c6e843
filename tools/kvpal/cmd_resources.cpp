// kvpal resources: the resources a module file carries (a Windows module's
// resource section, an ELF module's .rsrc section), read without loading it.
#include <cstdio>
#include <iostream>
#include <string>

#include "base/json_string.h"
#include "base/utf8.h"
#include "command.h"
#include "modules/resource_directory.h"
#include "options.h"

namespace {

namespace detail = Halvex::Tessaran::PAL::detail;

constexpr const char* kName = "resources";

std::string typeText(const detail::ResourceKey& type) {
  static const char* const kPredefined[] = {
      nullptr,     "RT_CURSOR",       "RT_BITMAP",       "RT_ICON", "RT_MENU",
      "RT_DIALOG", "RT_STRING",       "RT_FONTDIR",      "RT_FONT", "RT_ACCELERATOR",
      "RT_RCDATA", "RT_MESSAGETABLE", "RT_GROUP_CURSOR", nullptr,   "RT_GROUP_ICON",
      nullptr,     "RT_VERSION",      "RT_DLGINCLUDE",   nullptr,   "RT_PLUGPLAY",
      "RT_VXD",    "RT_ANICURSOR",    "RT_ANIICON",      "RT_HTML", "RT_MANIFEST"};
  if (type.isNamed()) return detail::jsonString(type.name);
  std::string number = "#" + std::to_string(type.id);
  if (type.id < std::size(kPredefined) && kPredefined[type.id])
    return std::string(kPredefined[type.id]) + " " + number;
  return number;
}

// Names come from the file: quoted and escaped, so that no control character
// reaches the terminal.
std::string nameText(const detail::ResourceKey& name) {
  return name.isNamed() ? detail::jsonString(name.name) : "#" + std::to_string(name.id);
}

std::string column(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

int runResources(const kvpal::Args& args) {
  kvpal::Options o;
  std::string error;
  if (!kvpal::parseOptions(args, 0, {}, o, error)) return kvpal::usageError(kName, error);
  if (o.positional.empty()) return kvpal::usageError(kName, "missing FILE");
  if (o.positional.size() > 1)
    return kvpal::usageError(kName, "unexpected argument '" + o.positional[1] + "'");
  const std::string& file = o.positional[0];

  unsigned code = 0;
  auto module = detail::ResourceModule::open(file.c_str(), code);
  if (!module) return kvpal::failure(kName, "cannot read '" + file + "': " + kvpal::systemError(code));
  auto entries = module->directory().entries();
  std::cout << "resources: " << entries.size() << "\n";
  if (entries.empty()) return kvpal::kOk;
  std::cout << "  " << column("type", 22) << column("name", 20) << column("language", 10) << "size\n";
  for (const detail::ResourceEntry& e : entries) {
    char language[8];
    std::snprintf(language, sizeof language, "0x%04x", e.language);
    std::cout << "  " << column(typeText(e.type), 22) << column(nameText(e.name), 20) << column(language, 10)
              << e.data.size() << "\n";
    if (e.type.id == detail::kRtString && !e.type.isNamed())
      for (const auto& [id, text] : detail::stringTableStrings(e))
        std::cout << "      " << id << ": " << detail::jsonString(text) << "\n";
  }
  return kvpal::kOk;
}

}  // namespace

KVPAL_COMMAND("resources", "list the resources a module file carries, with its string tables",
              "usage: kvpal resources FILE\n\n"
              "Reads the resource directory of a Windows module (a resource-only module included) or\n"
              "the .rsrc section of an ELF module (see kvpal_add_resources) without loading it, and\n"
              "lists each resource: its type, name or #identifier, language and size in bytes. The\n"
              "strings of string tables follow their block, with their identifiers, quoted.\n\n"
              "Exits with 1 when the file cannot be mapped or is not a module.\n",
              runResources);
