// Opens arbitrary bytes as a module file and asks every question the plug-in
// loader and the kvpal tool ask of it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "modules/image_parser.h"
#include "modules/plugin_contract.h"
#include "pal/module_image.h"

namespace {

using Halvex::Tessaran::PAL::ModuleImage;
namespace detail = Halvex::Tessaran::PAL::detail;

// The bytes go through a real file so that the mapping path runs too.
int bytesFile() {
  static int fd = ::memfd_create("module_image_fuzz", MFD_CLOEXEC);
  return fd;
}

void query(const ModuleImage& image) {
  for (const char* name : {"kvrxEntryPoint", "kvrxGetApiVersion", "a", "zzzz"}) {
    int index = image.exportIndex(name);
    int ordinal = image.exportOrdinal(index);
    image.exportFunction(ordinal, false);
    image.exportFunction(ordinal, true);
    if (auto code = static_cast<const unsigned char*>(image.exportCode(name))) {
      if (image.availableBytes(code) == 0) std::abort();  // a pointer outside the view
    }
  }
  for (int ordinal : {0, 1, 2, 0x7FFFFFFF, -1}) image.exportFunction(ordinal, false);
  for (const char* module : {"KERNEL32.dll", "MSVCR140D.DLL", "libc.so.6"}) image.importsModule(module);
  for (std::uint64_t address : {0ull, 0x1000ull, 0x10001000ull, 0x180001000ull, ~0ull})
    for (bool absolute : {false, true})
      if (const void* p = image.addressOf(address, absolute); p && image.availableBytes(p) == 0) std::abort();
  int major = 0, minor = 0;
  image.linkerVersion(major, minor);
  detail::findVersionMarker(image);
  detail::findPluginSdkNote(image);
  detail::toolsetMajorVersion(image);
  detail::importsExecutable(image, "pyra.exe");
  const auto& parser = detail::ModuleImageAccess::parser(image);
  parser.imports(5);
  parser.exports();
  for (const auto& note : parser.notes())
    if (note.size > 0 && image.availableBytes(note.descriptor) < note.size) std::abort();  // outside the view
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = bytesFile();
  if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    return 0;
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  ModuleImage* image = ModuleImage::open(path.c_str());
  query(*image);
  image->close();
  return 0;
}
