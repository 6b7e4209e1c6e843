// The FreeType font list over the package font folders and the added files.
#include "fonts/freetype_info.h"

#include <boost/filesystem/operations.hpp>

#include "base/path_text.h"
#include "pal/file_system.h"
#include "pal/freetype_font_utils.h"
#include "pal/package_utils.h"
#include "pal/unicode_convert.h"

namespace Halvex::Tessaran::PAL {

namespace fs = boost::filesystem;
using FontUtils::FontInformation;

namespace detail {

namespace {

bool isFontExtension(const std::string& extension) {
  if (extension.size() != 4 || extension[0] != '.') return false;
  std::string upper = extension;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper == ".TTF" || upper == ".TTC";
}

void appendFacesOf(const fs::path& file, std::vector<FontInformation>& out) {
  // A name that is not UTF-8 has no wide form for the record.
  const auto wide = wideFromPath(file);
  if (!wide) return;
  std::vector<FontInformation> faces = facesOfFile(*wide);
  out.insert(out.end(), std::make_move_iterator(faces.begin()), std::make_move_iterator(faces.end()));
}

}  // namespace

std::vector<fs::path> fontFilesOfFolder(const fs::path& folder) {
  boost::system::error_code ec;
  if (!fs::is_directory(folder, ec)) return {};
  std::set<fs::path> files;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (fs::is_regular_file(it->path(), ec)) files.insert(it->path());
  std::vector<fs::path> out;
  for (const fs::path& f : files)
    if (isFontExtension(f.extension().string())) out.push_back(f);
  return out;
}

std::vector<FontInformation> buildFreeTypeFontList(const std::vector<fs::path>& folders,
                                                   const std::set<fs::path>& files) {
  std::vector<FontInformation> out;
  for (const fs::path& folder : folders)
    for (const fs::path& file : fontFilesOfFolder(folder)) appendFacesOf(file, out);
  for (const fs::path& file : files) appendFacesOf(file, out);
  return out;
}

}  // namespace detail

namespace FreeTypeFontUtils {

namespace {

std::vector<FontInformation>& fontList() {
  static std::vector<FontInformation> list;
  return list;
}

std::set<fs::path>& externalFonts() {
  static std::set<fs::path> files;
  return files;
}

}  // namespace

const std::vector<FontInformation>& getAllFontsInformation() {
  std::vector<FontInformation>& list = fontList();
  if (list.empty()) list = detail::buildFreeTypeFontList(PackageUtils::allFontsDirs(), externalFonts());
  return list;
}

std::vector<FontInformation> getFontInformationFromFile(const std::string& file) {
  std::wstring wide;
  if (UnicodeConvert::multibyteToWide(code_page_id_ex(0u), file, wide, 0) != UnicodeConvert::ToWideCharOk)
    return {};
  return detail::facesOfFile(wide);
}

bool addExternalFont(const fs::path& file) {
  boost::system::error_code ec;
  const fs::path absolute = fs::absolute(FileSystem::normalized(file), fs::current_path(ec));
  if (ec || !fs::exists(absolute, ec)) return false;
  if (!externalFonts().insert(absolute).second) return false;
  detail::closeRegisteredFaces();
  fontList().clear();
  return true;
}

}  // namespace FreeTypeFontUtils

}  // namespace Halvex::Tessaran::PAL
