// kvpal module: what a module file imports and exports, and whether it
// carries the plug-in entry points, read from the file without loading it.
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "base/json_string.h"
#include "command.h"
#include "modules/image_parser.h"
#include "modules/plugin_contract.h"
#include "options.h"
#include "pal/module_image.h"

namespace {

using Halvex::Tessaran::PAL::ModuleImage;
namespace detail = Halvex::Tessaran::PAL::detail;

constexpr const char* kName = "module";
constexpr std::size_t kFirstEntries = 5;

std::string formatName(const ModuleImage& image) {
  switch (image.format()) {
    case ModuleImage::WindowsModule:
      return image.is32Bit() ? "PE32" : "PE32+";
    case ModuleImage::ElfModule:
      return std::string(image.is32Bit() ? "ELF32" : "ELF64") +
             (image.isBigEndian() ? " big-endian" : " little-endian");
    default:
      return "unknown";
  }
}

const char* statusText(ModuleImage::ParseStatus status) {
  switch (status) {
    case ModuleImage::ValidImage:
      return "valid image";
    case ModuleImage::ObjectFile:
      return "object file";
    case ModuleImage::NotAnImage:
      return "not a module";
    case ModuleImage::BadModuleHeader:
      return "broken module header";
  }
  return "unknown";
}

const char* markerText(detail::VersionMarker::Result result) {
  switch (result) {
    case detail::VersionMarker::Present:
      return "present";
    case detail::VersionMarker::Absent:
      return "absent";
    case detail::VersionMarker::NotLocatable:
      return "not locatable";
  }
  return "unknown";
}

std::string hex(std::uint64_t value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*llx", width, static_cast<unsigned long long>(value));
  return text;
}

// Everything the command shows, gathered once for both output forms.
struct Report {
  std::string file, format;
  unsigned machine = 0;
  ModuleImage::ParseStatus status = ModuleImage::NotAnImage;
  bool hasLinker = false;
  int linkerMajor = 0, linkerMinor = 0;
  std::vector<detail::ImportedModule> imports;
  std::vector<detail::ExportedSymbol> exports;
  bool entryPoint = false, versionFunction = false;
  detail::VersionMarker marker;
  std::optional<detail::PluginSdkNote> sdkNote;
};

Report inspect(const std::string& file, const ModuleImage& image) {
  Report r;
  r.file = file;
  r.format = formatName(image);
  r.machine = image.machine();
  r.status = image.parseStatus();
  r.hasLinker = image.linkerVersion(r.linkerMajor, r.linkerMinor);
  const auto& parser = detail::ModuleImageAccess::parser(image);
  r.imports = parser.imports(kFirstEntries);
  r.exports = parser.exports();
  r.entryPoint = image.exportOrdinal(image.exportIndex(detail::kPluginEntryPointName)) >= 0;
  int version = image.exportOrdinal(image.exportIndex(detail::kPluginVersionFunctionName));
  r.versionFunction = version >= 0 && image.exportFunction(version, false) != detail::kNoExport;
  r.marker = detail::findVersionMarker(image);
  r.sdkNote = detail::findPluginSdkNote(image);
  return r;
}

// Names come from the file: control characters would reach the terminal.
std::string printable(std::string text) {
  for (auto& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

void printImports(std::ostream& out, const Report& r, bool delayLoaded) {
  out << (delayLoaded ? "delay-load imports:\n" : "imports:\n");
  bool any = false;
  for (const auto& m : r.imports) {
    if (m.delayLoaded != delayLoaded) continue;
    any = true;
    out << "  " << printable(m.name);
    if (m.entryCount > 0) {
      out << " (" << m.entryCount << (m.entryCount == 1 ? " entry): " : " entries): ");
      for (std::size_t i = 0; i < m.firstEntries.size(); ++i)
        out << (i ? ", " : "") << printable(m.firstEntries[i]);
      if (m.entryCount > m.firstEntries.size()) out << ", ...";
    }
    out << "\n";
  }
  if (!any) out << "  (none)\n";
}

void printText(std::ostream& out, const Report& r) {
  out << "file:    " << printable(r.file) << "\n"
      << "format:  " << r.format << " (machine " << hex(r.machine, 4) << ")\n"
      << "status:  " << r.status << " (" << statusText(r.status) << ")\n";
  if (r.hasLinker) out << "linker:  " << r.linkerMajor << "." << r.linkerMinor << "\n";
  printImports(out, r, false);
  if (r.format.rfind("PE", 0) == 0) printImports(out, r, true);
  out << "exports: " << r.exports.size() << "\n";
  for (const auto& e : r.exports) {
    char ordinal[16];
    std::snprintf(ordinal, sizeof ordinal, "%6d", e.ordinal);
    out << "  " << ordinal << "  " << (e.forwarder ? "forwarder " : hex(e.address, 8)) << "  "
        << (e.name.empty() ? "(no name)" : printable(e.name));
    if (e.forwarder) out << " -> " << printable(e.forwardedTo);
    out << "\n";
  }
  out << "plug-in entry points:\n"
      << "  " << detail::kPluginEntryPointName << ": " << (r.entryPoint ? "present" : "missing") << "\n"
      << "  " << detail::kPluginVersionFunctionName << ": " << (r.versionFunction ? "present" : "missing")
      << "\n"
      << "  version marker: " << markerText(r.marker.result);
  if (r.marker.result == detail::VersionMarker::Present) out << " at offset " << r.marker.offset;
  if (r.marker.followedJump) out << " (after a leading jump)";
  out << "\n";
  if (r.format.rfind("ELF", 0) == 0) {
    out << "  SDK note: ";
    if (r.sdkNote)
      out << "toolset " << r.sdkNote->toolsetMajor << ", module type "
          << (r.sdkNote->moduleType.empty() ? "(none)" : printable(r.sdkNote->moduleType)) << "\n";
    else
      out << "(none)\n";
  }
}

void printJson(std::ostream& out, const Report& r) {
  out << "{\n  \"file\": " << detail::jsonString(r.file)
      << ",\n  \"format\": " << detail::jsonString(r.format) << ",\n  \"machine\": " << r.machine
      << ",\n  \"parseStatus\": " << r.status
      << ",\n  \"parseStatusText\": " << detail::jsonString(statusText(r.status))
      << ",\n  \"linkerVersion\": ";
  if (r.hasLinker)
    out << detail::jsonString(std::to_string(r.linkerMajor) + "." + std::to_string(r.linkerMinor));
  else
    out << "null";
  out << ",\n  \"imports\": [";
  for (std::size_t i = 0; i < r.imports.size(); ++i) {
    const auto& m = r.imports[i];
    out << (i ? "," : "") << "\n    {\"module\": " << detail::jsonString(m.name)
        << ", \"delayLoaded\": " << (m.delayLoaded ? "true" : "false") << ", \"entryCount\": " << m.entryCount
        << ", \"firstEntries\": [";
    for (std::size_t k = 0; k < m.firstEntries.size(); ++k)
      out << (k ? ", " : "") << detail::jsonString(m.firstEntries[k]);
    out << "]}";
  }
  out << (r.imports.empty() ? "" : "\n  ") << "],\n  \"exports\": [";
  for (std::size_t i = 0; i < r.exports.size(); ++i) {
    const auto& e = r.exports[i];
    out << (i ? "," : "") << "\n    {\"ordinal\": " << e.ordinal
        << ", \"name\": " << (e.name.empty() ? "null" : detail::jsonString(e.name));
    if (e.forwarder)
      out << ", \"forwarder\": " << detail::jsonString(e.forwardedTo);
    else
      out << ", \"address\": " << e.address;
    out << "}";
  }
  out << (r.exports.empty() ? "" : "\n  ") << "],\n  \"plugin\": {\"" << detail::kPluginEntryPointName
      << "\": " << (r.entryPoint ? "true" : "false") << ", \"" << detail::kPluginVersionFunctionName
      << "\": " << (r.versionFunction ? "true" : "false")
      << ", \"versionMarker\": " << detail::jsonString(markerText(r.marker.result))
      << ", \"versionMarkerOffset\": ";
  if (r.marker.result == detail::VersionMarker::Present)
    out << r.marker.offset;
  else
    out << "null";
  out << ", \"followedJump\": " << (r.marker.followedJump ? "true" : "false") << ", \"sdkNote\": ";
  if (r.sdkNote)
    out << "{\"toolsetMajor\": " << r.sdkNote->toolsetMajor
        << ", \"moduleType\": " << detail::jsonString(r.sdkNote->moduleType) << "}";
  else
    out << "null";
  out << "}\n}\n";
}

int runModule(const kvpal::Args& args) {
  kvpal::Options o;
  std::string error;
  if (!kvpal::parseOptions(args, 0, {{}, {"--json"}}, o, error)) return kvpal::usageError(kName, error);
  if (o.positional.empty()) return kvpal::usageError(kName, "missing FILE");
  if (o.positional.size() > 1)
    return kvpal::usageError(kName, "unexpected argument '" + o.positional[1] + "'");
  const std::string& file = o.positional[0];
  const bool asJson = o.has("--json");

  ModuleImage* image = ModuleImage::open(file.c_str());
  if (unsigned error = image->openError()) {
    image->close();
    return kvpal::failure(kName, "cannot map '" + file + "': " + kvpal::systemError(error));
  }
  Report report = inspect(file, *image);
  image->close();
  if (asJson)
    printJson(std::cout, report);
  else
    printText(std::cout, report);
  return kvpal::kOk;
}

}  // namespace

KVPAL_COMMAND("module", "show a module file's format, imports, exports and plug-in entry points",
              "usage: kvpal module FILE [--json]\n\n"
              "Reads a Windows module (PE32, PE32+) or an ELF shared object without loading it and\n"
              "prints its format and layout, the parse status, the linker version (Windows modules),\n"
              "the imported modules with their first entries (delay-loaded ones apart), the exports\n"
              "with their ordinals and forwarders, and whether it carries the plug-in entry points\n"
              "kvrxEntryPoint and kvrxGetApiVersion with the version marker, and for an ELF module\n"
              "the plug-in SDK's note (toolset major version and module type).\n\n"
              "  --json   the same as one JSON object\n\n"
              "Exits with 1 when the file cannot be opened and mapped.\n",
              runModule);
