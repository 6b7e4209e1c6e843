// A host that starts up from the folder it was copied to, linked to the
// libKvPal.so beside it, and prints what it got as NAME=VALUE lines.
//
// usage: identity_host init|getters-first|elsewhere PRODUCT LANGUAGE ROAMING oem|-
// ("<null>" passes a null pointer). getters-first asks for the current
// product before initialising; elsewhere changes to the root folder first.
#include <unistd.h>

#include <boost/property_tree/ptree.hpp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "pal/package_utils.h"
#include "pal/settings_identity.h"
#include "pal/unicode_convert.h"

namespace PAL = Halvex::Tessaran::PAL;

namespace {

void print(const char* name, const wchar_t* value) {
  std::string text;
  PAL::UnicodeConvert::wideCharToUtf8(value, text);
  std::printf("%s=%s\n", name, text.c_str());
}

std::wstring wide(const char* s) {
  std::wstring out;
  PAL::UnicodeConvert::utf8ToWideChar(s, out);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) return 2;
  const std::wstring product = wide(argv[2]), language = wide(argv[3]), roaming = wide(argv[4]);
  auto arg = [](const char* raw, const std::wstring& w) {
    return std::strcmp(raw, "<null>") ? w.c_str() : nullptr;
  };
  if (std::strcmp(argv[1], "elsewhere") == 0 && chdir("/") != 0) return 2;
  if (std::strcmp(argv[1], "getters-first") == 0) print("early-product", PAL::Settings::getCurrentProduct());
  const bool ok = PAL::Settings::Roots::initializeByConvention(
      arg(argv[2], product), arg(argv[3], language), arg(argv[4], roaming), std::strcmp(argv[5], "oem") == 0);
  std::printf("result=%d\n", ok ? 1 : 0);
  std::printf("oem=%d\n", PAL::Settings::isOem() ? 1 : 0);
  print("product", PAL::Settings::getCurrentProduct());
  print("language", PAL::Settings::Roots::currentLanguageName());
  print("identity", PAL::Settings::getCurrentProductIdentityIniPath());
  print("vertical", PAL::Settings::getVerticalPath());
  print("culture", PAL::Settings::Roots::productCultureSpecificRootName());
  print("global", PAL::Settings::Roots::productGlobalRootName());
  print("roaming", PAL::Settings::Roots::roamingRootName());
  for (const char* var : {"KVVERTICALPATH", "PATH"}) {
    const char* v = std::getenv(var);
    std::printf("%s=%s\n", var, v ? v : "<unset>");
  }
  std::printf("resdir=%s\n", PAL::PackageUtils::resDir().c_str());
  std::printf("datadir-same=%d\n", &PAL::PackageUtils::dataDir() == &PAL::PackageUtils::resDir() ? 1 : 0);
  std::string fonts;
  for (const auto& d : PAL::PackageUtils::allFontsDirs()) fonts += (fonts.empty() ? "" : "|") + d.string();
  std::printf("fonts=%s\n", fonts.c_str());
  std::unique_ptr<boost::property_tree::wptree> json(PAL::PackageUtils::parseJsonResource("resource.json"));
  print("json", json ? json->get<std::wstring>(L"name", L"<no name>").c_str() : L"<null>");
  return 0;
}
