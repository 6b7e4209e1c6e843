// Internal interface of the FreeType font list: the faces of one file, the
// face registry, and the list built over given folders and added files.
#pragma once

#include <boost/filesystem/path.hpp>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pal/font_utils.h"

typedef struct FT_FaceRec_* FT_Face;
typedef struct FT_LibraryRec_* FT_Library;

namespace Halvex::Tessaran::PAL::detail {

// A font file mapped read-only, so that an open face holds no descriptor;
// null when it is no regular file (a FIFO is not waited on), is empty or
// cannot be mapped.
class MappedFontFile {
 public:
  static std::unique_ptr<MappedFontFile> open(const std::wstring& path);
  ~MappedFontFile();
  MappedFontFile(const MappedFontFile&) = delete;
  MappedFontFile& operator=(const MappedFontFile&) = delete;

  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  MappedFontFile(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

  const unsigned char* data_;
  std::size_t size_;
};

// One face kept open by the registry; closed when the last holder lets go,
// before the mapping of its file.
struct FreeTypeFont {
  FreeTypeFont(FT_Face face, std::wstring familyName, std::wstring fullName, bool bold, bool italic,
               std::shared_ptr<const MappedFontFile> file);
  ~FreeTypeFont();
  FreeTypeFont(const FreeTypeFont&) = delete;
  FreeTypeFont& operator=(const FreeTypeFont&) = delete;

  FT_Face face;
  std::wstring familyName;
  std::wstring fullName;
  bool bold;
  bool italic;
  std::shared_ptr<const MappedFontFile> file;  // the bytes FreeType reads the face from
};

struct FaceRegistry {
  std::vector<std::shared_ptr<FreeTypeFont>> faces;  // in reading order
  std::map<std::wstring, std::vector<std::shared_ptr<FreeTypeFont>>> byFamily;
};

// Every face read so far. The FreeType library instance lives as long.
FaceRegistry& faceRegistry();
// The process's FreeType instance; null when it could not be made. Faces
// opened with it stay valid until the process exits.
FT_Library freeTypeLibrary();
void closeRegisteredFaces();

// The faces of the font file `path` (wide, as the records show it), each
// registered; none when it is no regular file or FreeType cannot open it.
std::vector<FontUtils::FontInformation> facesOfFile(const std::wstring& path);

// The .ttf and .ttc regular files directly in `folder`, in path order.
std::vector<boost::filesystem::path> fontFilesOfFolder(const boost::filesystem::path& folder);

// The faces of every font file of the folders, in order, then of the files.
std::vector<FontUtils::FontInformation> buildFreeTypeFontList(
    const std::vector<boost::filesystem::path>& folders, const std::set<boost::filesystem::path>& files);

}  // namespace Halvex::Tessaran::PAL::detail
