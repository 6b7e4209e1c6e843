// ModuleImage: chooses the format reader for a mapped file and forwards the
// queries to it.
#include "pal/module_image.h"

#include <cstring>

#include "modules/image_parser.h"
#include "modules/mapped_file.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

namespace {
bool isCoffObjectMachine(std::uint16_t word) {
  return word == 0x014C || word == 0x0166 || word == 0x0184 || word == 0x01F0;
}
}  // namespace

std::unique_ptr<ImageParser> parseImage(ByteView view) {
  auto word = view.read<std::uint16_t>(0);
  if (word && isCoffObjectMachine(*word)) return std::make_unique<ImageParser>(view, ModuleImage::ObjectFile);
  if (word == 0x5A4D) return parsePeImage(view);
  if (view.has(0, 4) && std::memcmp(view.data(),
                                    "\x7F"
                                    "ELF",
                                    4) == 0)
    return parseElfImage(view);
  return std::make_unique<ImageParser>(view, ModuleImage::NotAnImage);
}

ModuleImage* ModuleImageAccess::make(unsigned openError, MappedFile* file,
                                     std::unique_ptr<ImageParser> parser) {
  return new ModuleImage(openError, file, parser.release());
}

ModuleImage* ModuleImageAccess::fromBytes(const std::uint8_t* data, std::size_t size) {
  return make(0, nullptr, parseImage(ByteView(data, size)));
}

}  // namespace detail

using detail::ImageParser;

ModuleImage::ModuleImage(DWORD openError, detail::MappedFile* file, ImageParser* parser)
    : openError_(openError), file_(file), parser_(parser) {}

ModuleImage::~ModuleImage() {
  delete parser_;
  delete file_;
}

ModuleImage* ModuleImage::open(const char* path) {
  unsigned error = 0;
  std::unique_ptr<detail::MappedFile> file = detail::MappedFile::map(path, error);
  if (!file)
    return detail::ModuleImageAccess::make(error, nullptr,
                                           std::make_unique<ImageParser>(detail::ByteView(), NotAnImage));
  auto parser = detail::parseImage(detail::ByteView(file->data(), file->size()));
  return detail::ModuleImageAccess::make(0, file.release(), std::move(parser));
}

void ModuleImage::close() {
  delete this;
}

DWORD ModuleImage::openError() const {
  return openError_;
}
ModuleImage::ParseStatus ModuleImage::parseStatus() const {
  return parser_->status();
}
ModuleImage::Format ModuleImage::format() const {
  return parser_->format();
}
bool ModuleImage::is32Bit() const {
  return parser_->is32Bit();
}
bool ModuleImage::isBigEndian() const {
  return parser_->view().bigEndian();
}
unsigned ModuleImage::machine() const {
  return parser_->machine();
}
bool ModuleImage::linkerVersion(int& major, int& minor) const {
  return parser_->linkerVersion(major, minor);
}

const void* ModuleImage::addressOf(std::uint64_t address, bool isAbsolute) const {
  auto offset = parser_->fileOffset(address, isAbsolute);
  if (!offset || !parser_->view().has(*offset, 1)) return nullptr;
  return parser_->view().data() + *offset;
}

std::size_t ModuleImage::availableBytes(const void* address) const {
  const auto& view = parser_->view();
  auto p = static_cast<const std::uint8_t*>(address);
  // Compared as integers: relational operators on unrelated pointers are
  // unspecified.
  auto at = reinterpret_cast<std::uintptr_t>(p);
  auto begin = reinterpret_cast<std::uintptr_t>(view.data());
  if (!view.data() || at < begin || at - begin >= view.size()) return 0;
  return view.size() - (at - begin);
}

bool ModuleImage::importsModule(const char* name) const {
  return name && parser_->importsModule(name);
}

int ModuleImage::exportIndex(const char* name) const {
  return name && *name ? parser_->exportIndex(name) : -1;
}

int ModuleImage::exportOrdinal(int index) const {
  return index < 0 ? -1 : parser_->exportOrdinal(index);
}

DWORD ModuleImage::exportFunction(int ordinal, bool wantForwarder) const {
  return parser_->exportFunction(ordinal, wantForwarder);
}

const void* ModuleImage::exportCode(const char* name) const {
  int ordinal = exportOrdinal(exportIndex(name));
  if (ordinal < 0) return nullptr;
  DWORD address = exportFunction(ordinal, false);
  return address == detail::kNoExport ? nullptr : addressOf(address, false);
}

}  // namespace Halvex::Tessaran::PAL
