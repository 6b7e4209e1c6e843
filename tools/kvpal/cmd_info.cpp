// kvpal info: what the library sees on this machine, the first page a porting
// team reads. Every section is gathered on its own: one that fails reads
// "not available" and the others are still shown.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "base/json_string.h"
#include "base/own_module.h"
#include "base/utf8.h"
#include "command.h"
#include "instrumentation/event_provider.h"
#include "instrumentation/trace_file_session.h"
#include "options.h"
#include "pal/code_trust.h"
#include "pal/date_time.h"
#include "pal/file_system_cloud.h"
#include "pal/font_utils.h"
#include "pal/locale.h"
#include "pal/locale_formats.h"
#include "pal/package_utils.h"
#include "pal/settings_roots.h"
#include "pal/version.h"
#include "pal/windowing.h"
#include "settings/product_identity.h"
#include "settings/roots_state.h"
#include "settings/settings_store.h"
#include "text/date_time_internal.h"
#include "text/nls_table.h"

namespace {

namespace PAL = Halvex::Tessaran::PAL;
using PAL::detail::wideToUtf8;

constexpr const char* kName = "info";
constexpr const char* kNotAvailable = "not available";

// One line of the report; a list field holds one value per entry.
struct Field {
  std::string key;    // JSON member name
  std::string label;  // text label
  std::optional<std::string> value;
  std::vector<std::string> list;
  bool isList = false;
};

struct Section {
  std::string key;
  std::string title;
  std::vector<Field> fields;
  std::optional<std::string> unavailable;  // why the section could not be gathered
};

Field text(std::string key, std::string label, std::optional<std::string> value) {
  return {std::move(key), std::move(label), std::move(value), {}, false};
}

Field list(std::string key, std::string label, std::vector<std::string> values) {
  return {std::move(key), std::move(label), std::nullopt, std::move(values), true};
}

std::string hex(unsigned value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04X", value);
  return buf;
}

void library(Section& s) {
  s.fields.push_back(text("version", "Version", PAL::libraryVersion()));
  const std::string file = PAL::detail::ownModuleFile();
  s.fields.push_back(text("file", "Loaded from", file.empty() ? std::nullopt : std::optional(file)));
  const auto& res = PAL::PackageUtils::resDir();
  s.fields.push_back(
      text("resources", "Resource folder", res.empty() ? std::nullopt : std::optional(res.string())));
}

void hives(Section& s) {
  using namespace PAL::detail;
  for (auto [root, key, label] : {std::tuple{HKEY_CURRENT_USER, "user", "User (HKCU)"},
                                  std::tuple{HKEY_LOCAL_MACHINE, "machine", "Machine (HKLM)"}}) {
    const HiveInfo h = hiveInfo(root);
    std::optional<std::string> value;
    if (!h.path.empty())
      value = h.path + (h.exists ? " (exists" : " (does not exist yet") + (h.readOnly ? ", read-only)" : ")");
    s.fields.push_back(text(key, label, value));
  }
}

void locales(Section& s) {
  auto describe = [](const KvLocale& locale) -> std::optional<std::string> {
    if (!locale.isValid()) return std::nullopt;
    const int lcid = KvLocaleService::getWinLCIDFromLocaleClass(locale);
    std::string out = wideToUtf8(locale.iso2LangName()) + "-" + wideToUtf8(locale.iso2CountryName()) +
                      ", LCID " + hex(static_cast<unsigned>(lcid)) + " (" + std::to_string(lcid) + ")";
    if (const auto* info = PAL::detail::nlsFindLocale(static_cast<LCID>(lcid)))
      out += ", ANSI code page " + std::to_string(info->ansiCodePage) + ", OEM code page " +
             std::to_string(info->oemCodePage);
    return out;
  };
  s.fields.push_back(text("system", "System locale", describe(PAL::Locale::getSystemLocale())));
  s.fields.push_back(text("user", "User locale", describe(PAL::Locale::getUserDefaultLocale())));
}

void formats(Section& s) {
  namespace L = PAL::Locale;
  s.fields.push_back(text("decimalSeparator", "Decimal separator", wideToUtf8(L::getDecimalSeparator(L'.'))));
  s.fields.push_back(
      text("thousandSeparator", "Thousands separator", wideToUtf8(L::getThousandSeparator(L','))));
  const std::wstring grouping = L::getThousandGroupingStyle();
  s.fields.push_back(text("grouping", "Digit grouping",
                          grouping.empty() ? std::nullopt : std::optional(wideToUtf8(grouping))));
  s.fields.push_back(text("listSeparator", "List separator", wideToUtf8(L::getListSeparator(L','))));
  s.fields.push_back(text("currency", "Currency symbol", wideToUtf8(L::getCurrency(L'$'))));
  s.fields.push_back(
      text("measurement", "Measurement", L::getMeasureUnits(L::Metric) == L::Metric ? "metric" : "imperial"));
  const auto& timeLocale = PAL::detail::userTimeLocale();
  s.fields.push_back(text("dateLocale", "Date and time locale", timeLocale.icuLocale));
  s.fields.push_back(text("shortDateFormat", "Short date format", wideToUtf8(timeLocale.shortDatePicture)));
  // A day above 12 shows the order of day and month.
  std::tm sample{};
  sample.tm_year = 2026 - 1900;
  sample.tm_mon = 11;
  sample.tm_mday = 31;
  const std::wstring date = PAL::DateTime::getShortDateString(sample);
  s.fields.push_back(text("shortDateExample", "31 December 2026",
                          date.empty() ? std::nullopt : std::optional(wideToUtf8(date))));
}

// The roots a host starting from the current folder would get; the report
// leaves the last-launched values in the user hive alone.
void settingsRoots(Section& s) {
  std::error_code ec;
  std::string folder = std::filesystem::current_path(ec).string();
  if (ec) throw std::runtime_error("the current folder cannot be read");
  if (folder.back() != '/') folder += '/';
  using namespace PAL::detail;
  CProductConfigInit record(utf8ToWide(folder));
  record.recordLastLaunched = false;
  s.fields.push_back(text("folder", "Installation folder", folder));
  if (record.installedInfo->productVersionKey.empty()) {
    s.fields.push_back(text("identity", "Product identity", "none (no identityver.ini here)"));
    return;
  }
  const bool ok = initializeFrom(record, L"", L"", L"");
  const auto& roots = rootsState();
  s.fields.push_back(text("product", "Product", wideToUtf8(record.currentProduct)));
  s.fields.push_back(text("language", "Language", wideToUtf8(roots.currentLanguageName)));
  s.fields.push_back(text("identityFile", "Identity file", wideToUtf8(record.identityIniPath)));
  if (!ok) {
    s.fields.push_back(text("failedStep", "Start-up failed", record.failedStep));
    return;
  }
  s.fields.push_back(text("globalRoot", "Global root", wideToUtf8(roots.productGlobalRootName)));
  s.fields.push_back(text("cultureRoot", "Culture root", wideToUtf8(roots.productCultureSpecificRootName)));
  std::vector<std::string> rootList;
  for (const auto& r : roots.rootList)
    rootList.push_back((r.isUserHive ? "HKCU\\" : "HKLM\\") + wideToUtf8(r.keyPath));
  s.fields.push_back(list("rootList", "Root list", std::move(rootList)));
}

void fonts(Section& s) {
  s.fields.push_back(
      text("installed", "Installed fonts", std::to_string(PAL::FontUtils::getAllInstalledFonts().size())));
}

// The library has no display query yet; the windowing module's capability
// query answers here once it exists.
std::optional<std::string> displayDescription() {
  if (!PAL::DeviceCaps::initDeviceCaps()) return "no display";
  const char* name = std::getenv("DISPLAY");
  return std::string(name && *name ? name : "the host's") + ", " +
         std::to_string(PAL::DeviceCaps::getHorizontalRes()) + "x" +
         std::to_string(PAL::DeviceCaps::getVerticalRes()) + " pixels, " +
         std::to_string(PAL::DeviceCaps::getLogicalPixelsX()) + "x" +
         std::to_string(PAL::DeviceCaps::getLogicalPixelsY()) + " DPI";
}

void display(Section& s) {
  s.fields.push_back(text("display", "Display and DPI", displayDescription()));
}

void tracing(Section& s) {
  const char* file = std::getenv(PAL::detail::kTraceFileVariable);
  s.fields.push_back(text("traceFile", "Trace file (KVPAL_TRACE_FILE)", file && *file ? file : "off"));
  const char* lttng = std::getenv("KVPAL_TRACE_LTTNG");
  std::string state = "off";
  if (dlopen("libKvPalLttngProvider.so", RTLD_LAZY | RTLD_NOLOAD) != nullptr)
    state = PAL::detail::systemTracing() ? "probes loaded, an LTTng session is recording"
                                         : "probes loaded, no LTTng session is recording";
  else if (lttng && *lttng && std::string(lttng) != "0")
    state = "asked for, but the probe module did not load";
  s.fields.push_back(text("lttng", "LTTng (KVPAL_TRACE_LTTNG)", state));
}

void linuxCounterparts(Section& s) {
  namespace FS = PAL::FileSystem;
  const std::pair<const char*, bool (*)(std::wstring&)> clients[] = {
      {"Dropbox Business", FS::isDropboxBusinessConfigured},
      {"Dropbox Personal", FS::isDropboxPersonalConfigured},
      {"OneDrive Business", FS::isOneDriveBusinessConfigured},
      {"OneDrive Personal", FS::isOneDrivePersonalConfigured},
      {"Google Drive", FS::isGoogleDriveConfigured},
      {"Box", FS::isBoxConfigured}};
  std::vector<std::string> found;
  for (auto [name, configured] : clients) {
    std::wstring folder;
    if (configured(folder)) found.push_back(std::string(name) + ": " + wideToUtf8(folder));
  }
  s.fields.push_back(list("cloudClients", "Cloud clients found", std::move(found)));
  std::vector<std::string> trusted;
  for (const auto& p : PAL::CodeTrust::getDefaultTrustedPaths()) trusted.push_back(wideToUtf8(p));
  s.fields.push_back(list("trustedFolders", "Trusted folders", std::move(trusted)));
}

Section gather(const char* key, const char* title, void (*fill)(Section&)) {
  Section s{key, title, {}, std::nullopt};
  try {
    fill(s);
  } catch (const std::exception& e) {
    s.fields.clear();
    s.unavailable = e.what();
  } catch (...) {
    s.fields.clear();
    s.unavailable = "an unexpected failure";
  }
  return s;
}

void printText(const std::vector<Section>& sections) {
  for (const auto& s : sections) {
    std::cout << s.title << ":";
    if (s.unavailable) {
      std::cout << " " << kNotAvailable << " (" << *s.unavailable << ")\n";
      continue;
    }
    std::cout << "\n";
    for (const auto& f : s.fields) {
      std::string label = "  " + f.label + ":";
      label.resize(std::max<std::size_t>(label.size() + 1, 34), ' ');
      if (!f.isList) {
        std::cout << label << f.value.value_or(kNotAvailable) << "\n";
      } else if (f.list.empty()) {
        std::cout << label << "none\n";
      } else {
        std::cout << "  " << f.label << ":\n";
        for (const auto& v : f.list) std::cout << "    " << v << "\n";
      }
    }
  }
}

// Unavailable sections and values are null.
void printJson(const std::vector<Section>& sections) {
  using PAL::detail::jsonString;
  std::cout << "{";
  const char* sep = "\n";
  for (const auto& s : sections) {
    std::cout << sep << "  " << jsonString(s.key) << ": ";
    sep = ",\n";
    if (s.unavailable) {
      std::cout << "null";
      continue;
    }
    std::cout << "{";
    const char* fieldSep = "";
    for (const auto& f : s.fields) {
      std::cout << fieldSep << "\n    " << jsonString(f.key) << ": ";
      fieldSep = ",";
      if (f.isList) {
        std::cout << "[";
        for (std::size_t i = 0; i < f.list.size(); ++i) std::cout << (i ? ", " : "") << jsonString(f.list[i]);
        std::cout << "]";
      } else {
        std::cout << (f.value ? jsonString(*f.value) : "null");
      }
    }
    std::cout << "\n  }";
  }
  std::cout << "\n}\n";
}

void printRoots() {
  using Roots = PAL::Settings::Roots;
  std::cout << "Settings roots:\n"
            << "  Roaming root:                  " << wideToUtf8(Roots::roamingRootName()) << "\n"
            << "  Product global root:           " << wideToUtf8(Roots::productGlobalRootName()) << "\n"
            << "  Product culture-specific root: " << wideToUtf8(Roots::productCultureSpecificRootName())
            << "\n"
            << "  SDK root:                      " << wideToUtf8(Roots::sdkRootName()) << "\n"
            << "  Current language:              " << wideToUtf8(Roots::currentLanguageName()) << "\n"
            << "  Current profile:               " << wideToUtf8(Roots::currentProfileName()) << "\n"
            << "Root list, in precedence order:\n";
  int n = 0;
  for (const auto& entry : PAL::detail::rootsState().rootList)
    std::cout << "  " << ++n << ". " << (entry.isUserHive ? "HKCU\\" : "HKLM\\") << wideToUtf8(entry.keyPath)
              << "\n";
}

int runInfo(const kvpal::Args& args) {
  kvpal::Options o;
  if (int rc = kvpal::parseOptionsOnly(kName, args, 0, {{"--roaming", "--culture"}, {"--json"}}, o))
    return rc;
  const bool roaming = o.has("--roaming"), culture = o.has("--culture");
  if (!roaming != !culture) return kvpal::usageError(kName, "--roaming and --culture go together");
  if (roaming && o.has("--json"))
    return kvpal::usageError(kName, "--json reports the machine, not given roots");

  if (roaming) {
    std::vector<Section> head = {gather("library", "Library", library),
                                 gather("hives", "Settings hives", hives)};
    printText(head);
    PAL::Settings::Roots::initializeFromRoots(PAL::detail::utf8ToWide(o.value("--roaming")).c_str(),
                                              PAL::detail::utf8ToWide(o.value("--culture")).c_str(),
                                              PAL::Locale::getSystemLocale());
    printRoots();
    return kvpal::kOk;
  }
  const std::vector<Section> sections = {
      gather("library", "Library", library),
      gather("hives", "Settings hives", hives),
      gather("locales", "Locales", locales),
      gather("formats", "User formats", formats),
      gather("settingsRoots", "Settings roots", settingsRoots),
      gather("fonts", "Fonts", fonts),
      gather("display", "Display", display),
      gather("tracing", "Trace consumers", tracing),
      gather("linux", "Linux counterparts", linuxCounterparts),
  };
  if (o.has("--json"))
    printJson(sections);
  else
    printText(sections);
  return kvpal::kOk;
}

}  // namespace

KVPAL_COMMAND(kName, "report what the library sees on this machine",
              "usage: kvpal info [--json]\n"
              "       kvpal info --roaming ROOT --culture ROOT\n\n"
              "Reports what the library sees here: its version and file; the user and\n"
              "machine settings hives (path, whether they exist, read-only mode); the\n"
              "system and user locales with their LCIDs and ANSI and OEM code pages; the\n"
              "user's number and date formats; the settings roots a host would get when\n"
              "the current folder holds a product identity (identityver.ini), without\n"
              "recording a last-launched product; the installed-font count; the display;\n"
              "the trace consumers enabled; and the Linux counterparts in force (cloud\n"
              "clients found, trusted folders). A part that cannot be read shows\n"
              "\"not available\" (null in JSON) and the rest is still reported.\n\n"
              "  --json   the same as one JSON object, a member per section\n\n"
              "KVPAL_USER_HIVE and KVPAL_MACHINE_HIVE name other hive files;\n"
              "KVPAL_MACHINE_HIVE_READONLY=1 makes the machine hive read-only.\n\n"
              "With --roaming and --culture, sets the settings roots as a host would\n"
              "(roaming root under HKCU, product culture-specific root such as\n"
              "SOFTWARE\\Vendor\\Product:409, language from the system locale) and prints\n"
              "them with the root list that settings reads walk, base products included.\n",
              runInfo);
