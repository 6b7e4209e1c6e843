// The format readers behind ModuleImage. The base answers every query with
// "nothing" and stands for files that are not read (unmapped, object files,
// unknown formats); the PE and ELF readers override it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "modules/byte_view.h"
#include "pal/module_image.h"

namespace Halvex::Tessaran::PAL::detail {

inline constexpr std::uint32_t kNoExport = 0xFFFFFFFFu;

// One imported module with the first entries of its import list (names, or
// "#N" for an import by ordinal).
struct ImportedModule {
  std::string name;
  bool delayLoaded = false;
  std::vector<std::string> firstEntries;
  std::uint64_t entryCount = 0;
};

// An ELF note: its owner's name, type and descriptor bytes (inside the view).
struct ImageNote {
  std::string owner;
  std::uint32_t type = 0;
  const std::uint8_t* descriptor = nullptr;
  std::size_t size = 0;
};

// Where a module keeps its resource directory: the bytes from the root
// directory to the end of the section holding it, and the address of that
// root, against which data entries give their data (0 in an ELF section).
struct ResourceSection {
  ByteView bytes;
  std::uint64_t address = 0;
};

// Where a Windows module keeps the fields a signature over the file leaves
// out: the optional header's checksum and the certificate-table directory
// entry (file offsets, both inside the file), and the entry's value, which
// unlike other directories holds a file offset (0 and 0 when unsigned).
struct CertificateTable {
  std::uint64_t checksumOffset = 0;
  std::uint64_t entryOffset = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

struct ExportedSymbol {
  int ordinal = -1;
  std::string name;           // empty for an export by ordinal only
  std::uint64_t address = 0;  // relative address of a real export
  bool forwarder = false;
  std::string forwardedTo;
};

class ImageParser {
 public:
  ImageParser(ByteView view, ModuleImage::ParseStatus status) : view_(view), status_(status) {}
  virtual ~ImageParser() = default;

  const ByteView& view() const { return view_; }
  ModuleImage::ParseStatus status() const { return status_; }

  virtual ModuleImage::Format format() const { return ModuleImage::UnknownFormat; }
  virtual bool is32Bit() const { return false; }
  virtual unsigned machine() const { return 0; }
  virtual bool linkerVersion(int&, int&) const { return false; }
  // File offset of an address, or nothing when no part of the file holds it.
  virtual std::optional<std::uint64_t> fileOffset(std::uint64_t, bool) const { return std::nullopt; }
  virtual bool importsModule(const char*) const { return false; }
  virtual int exportIndex(const char*) const { return -1; }
  virtual int exportOrdinal(int) const { return -1; }
  virtual std::uint32_t exportFunction(int, bool) const { return kNoExport; }
  virtual std::optional<ResourceSection> resourceSection() const { return std::nullopt; }
  // Nothing for other formats and for headers too short to hold the fields.
  virtual std::optional<CertificateTable> certificateTable() const { return std::nullopt; }

  // Listings for people (the kvpal tool); the queries above do not use them.
  virtual std::vector<ImportedModule> imports(std::size_t maxEntries) const {
    (void)maxEntries;
    return {};
  }
  virtual std::vector<ExportedSymbol> exports() const { return {}; }
  // The notes of the note segments (ELF only).
  virtual std::vector<ImageNote> notes() const { return {}; }

 protected:
  ByteView view_;
  ModuleImage::ParseStatus status_;
};

// Chooses the reader from the first bytes.
std::unique_ptr<ImageParser> parseImage(ByteView view);
// Called by parseImage once the signature is known.
std::unique_ptr<ImageParser> parsePeImage(ByteView view);
std::unique_ptr<ImageParser> parseElfImage(ByteView view);

// Lets the library's own code reach behind the public ModuleImage.
class ModuleImageAccess {
 public:
  static const ImageParser& parser(const ModuleImage& image) { return *image.parser_; }
  // An image over bytes the caller keeps alive until close (fuzzing, tests).
  static ModuleImage* fromBytes(const std::uint8_t* data, std::size_t size);
  static ModuleImage* make(unsigned openError, MappedFile* file, std::unique_ptr<ImageParser> parser);
};

}  // namespace Halvex::Tessaran::PAL::detail
