// ModuleImage: reads a module file as stored (imports, exports, the bytes of
// an exported function) through a read-only mapping, without loading it.
//
// Two formats are read: the Windows module format (PE32 and PE32+) and ELF
// shared objects (32- and 64-bit, either byte order). Every offset in the file
// is checked against the mapping; a hostile file answers null, -1 or false.
//
// Differences from what a Windows caller expects:
// - open takes a native (UTF-8) POSIX path, not a wide one.
// - Nothing stops another process from changing or truncating the file while
//   it is mapped; a file cut short under the mapping raises SIGBUS on access.
// - An empty file fails to open with ERROR_FILE_INVALID (as an empty file
//   fails to map on Windows); a directory fails with ERROR_ACCESS_DENIED.
// - ELF files: parse status 0 for executables and shared objects, 1 for
//   relocatable objects, 2 for other ELF file types, 4 for a broken ELF header
//   (unknown class, byte order or version, or a header cut short). Imports
//   are the DT_NEEDED names, compared exactly (Linux file names are case
//   sensitive). Exports are the defined global, weak and unique symbols of
//   the dynamic symbol table; an export's "index" and "ordinal" are both its
//   symbol index, and ELF has no forwarders. Addresses are the link-time
//   virtual addresses of the loadable segments; is-absolute is ignored.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pal/export.h"
#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL {

namespace detail {
class ImageParser;
class MappedFile;
class ModuleImageAccess;
}  // namespace detail

class PAL_EXPORT ModuleImage {
 public:
  enum ParseStatus {
    ValidImage = 0,
    ObjectFile = 1,       // starts with a COFF object machine code (ELF: relocatable)
    NotAnImage = 2,       // neither an object file nor a module
    BadModuleHeader = 4,  // MZ present, but no PE\0\0 module header or one cut short
                          // (ELF: broken header)
  };

  enum Format {
    UnknownFormat = 0,
    WindowsModule = 1,  // PE32 or PE32+
    ElfModule = 2,
  };

  // Maps the whole file read-only and reads its headers. Never null; check
  // openError() and parseStatus(). The caller releases it with close().
  static ModuleImage* open(const char* path);
  void close();

  // Windows system error code of a failed open or mapping; 0 when mapped.
  DWORD openError() const;
  // NotAnImage when the file could not be mapped.
  ParseStatus parseStatus() const;

  Format format() const;
  // PE: the file header's machine is not 0x8664. ELF: the 32-bit class.
  bool is32Bit() const;
  bool isBigEndian() const;
  // The file header's machine code (PE) or e_machine (ELF); 0 when unread.
  unsigned machine() const;
  // The optional header's linker version; false when there is none (and for
  // ELF, which records no linker version).
  bool linkerVersion(int& major, int& minor) const;

  // Pointer into the view for a relative virtual address (or, with
  // isAbsolute, an address including the image base); null when it falls
  // outside the headers and every section's data in the file.
  const void* addressOf(std::uint64_t address, bool isAbsolute) const;
  // Bytes of the view from address to its end; 0 for a pointer outside it.
  // Readers of exportCode() bound their reads with this.
  std::size_t availableBytes(const void* address) const;

  // Whether the image imports the named module with a non-empty import list
  // (import or delay-import descriptors; PE names compare ignoring case).
  bool importsModule(const char* name) const;
  // Index of the name in the sorted export name table, or -1.
  int exportIndex(const char* name) const;
  // Ordinal of the export name at index, or -1.
  int exportOrdinal(int index) const;
  // With wantForwarder false: the relative address of the real export with
  // that ordinal. With wantForwarder true: the offset of its forwarder text
  // from the start of the export directory. 0xFFFFFFFF otherwise.
  DWORD exportFunction(int ordinal, bool wantForwarder) const;
  // The bytes of the named real export inside the view, or null.
  const void* exportCode(const char* name) const;

  ModuleImage(const ModuleImage&) = delete;
  ModuleImage& operator=(const ModuleImage&) = delete;

 private:
  friend class detail::ModuleImageAccess;
  ModuleImage(DWORD openError, detail::MappedFile* file, detail::ImageParser* parser);
  ~ModuleImage();

  DWORD openError_;
  detail::MappedFile* file_;     // null when the bytes are borrowed
  detail::ImageParser* parser_;  // never null
};

}  // namespace Halvex::Tessaran::PAL
