// Resource modules read from mappings of their files, and the resources of
// modules the system's loader opened.
#include "pal/resource_modules.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "base/utf8.h"
#include "modules/module_names.h"
#include "modules/resource_directory.h"
#include "modules/resources/module_files.h"
#include "pal/diagnostics.h"
#include "windowing/image_decoder.h"

namespace Halvex::Tessaran::PAL {

namespace {

using detail::ByteView;
using detail::ResourceKey;

// What a resource handle stands for: the mapped module, and the wide copies
// of its strings handed out by tryLoadString, kept as long as the mapping.
class Resources {
 public:
  explicit Resources(std::unique_ptr<detail::ResourceModule> module) : module_(std::move(module)) {}

  const detail::ResourceDirectory& directory() const { return module_->directory(); }

  const std::wstring* string(unsigned id) {
    std::lock_guard<std::mutex> lock(stringsLock_);
    auto it = strings_.find(id);
    if (it == strings_.end()) {
      auto text = directory().string(id);
      if (!text) return nullptr;
      it = strings_.emplace(id, std::move(*text)).first;
    }
    return &it->second;
  }

 private:
  std::unique_ptr<detail::ResourceModule> module_;
  std::mutex stringsLock_;
  std::unordered_map<unsigned, std::wstring> strings_;
};

// Handles this library made for resource modules, and the resources of
// loader modules, by file, read once and kept until exit.
struct Registry {
  std::mutex lock;
  std::unordered_set<const void*> own;
  std::map<std::string, std::unique_ptr<Resources>> loaderModules;

  static Registry& get() {
    static Registry* registry = new Registry;  // used by handles released at exit
    return *registry;
  }
};

bool isAbsent(const void* handle) {
  return handle == nullptr || reinterpret_cast<std::uintptr_t>(handle) == ~std::uintptr_t{0};
}

// The resources behind a handle: one of this library's, else a loader
// module's (null standing for the executable when `nullIsExecutable`).
Resources* resourcesOf(void* handle, bool nullIsExecutable = false) {
  if (reinterpret_cast<std::uintptr_t>(handle) == ~std::uintptr_t{0}) return nullptr;
  if (!handle && !nullIsExecutable) return nullptr;
  Registry& registry = Registry::get();
  {
    std::lock_guard<std::mutex> lock(registry.lock);
    if (registry.own.count(handle)) return static_cast<Resources*>(handle);
  }
  std::string file = handle ? detail::fileOfLoadedModule(handle) : detail::executableFile();
  if (file.empty()) return nullptr;
  std::lock_guard<std::mutex> lock(registry.lock);
  auto [it, added] = registry.loaderModules.try_emplace(file);
  if (added) {
    unsigned error = 0;
    if (auto module = detail::ResourceModule::open(file.c_str(), error))
      it->second = std::make_unique<Resources>(std::move(module));
  }
  return it->second.get();
}

bool isFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Relative names as the system's search finds modules: the executable's
// folder first, then the current one.
std::string findResourceFile(const std::string& name) {
  if (name.empty() || name[0] == '/') return name;
  std::string exe = detail::executableFile();
  if (size_t end = exe.rfind('/'); end != std::string::npos) {
    std::string beside = exe.substr(0, end + 1) + name;
    if (isFile(beside)) return beside;
  }
  return name;
}

std::wstring localisedPath(const KvLocale& locale, const wchar_t* fileName) {
  std::wstring path = Locale::getResourceFolderNameFromLocale(locale);
  std::wstring file = fileName ? fileName : L"";
  if (!file.empty()) {
    bool separated = file[0] == L'/' || file[0] == L'\\' || path.empty() || path.back() == L':' ||
                     path.back() == L'/' || path.back() == L'\\';
    if (!separated) path += L'/';
    path += file;
  }
  for (wchar_t& c : path)
    if (c == L'\\') c = L'/';
  return path;
}

std::atomic<void*> currentResourceModule{nullptr};

std::optional<ByteView> findNumbered(void* handle, std::uint16_t type, int id) {
  Resources* resources = resourcesOf(handle);
  if (!resources) return std::nullopt;
  return resources->directory().find(ResourceKey::number(type),
                                     ResourceKey::number(static_cast<std::uint16_t>(id & 0xFFFF)));
}

// A bitmap resource is a device-independent bitmap without the file header
// of a .bmp file; the decoder wants the file, so the header is put back.
std::vector<unsigned char> bmpFile(const ByteView& dib) {
  auto headerSize = dib.read<std::uint32_t>(0);
  if (!headerSize || *headerSize < 12) return {};
  std::uint64_t colours = 0, masks = 0;
  if (*headerSize == 12) {
    std::uint16_t bits = dib.read<std::uint16_t>(10).value_or(0);
    colours = bits <= 8 ? 3u << bits : 0;  // three-byte entries
  } else {
    std::uint16_t bits = dib.read<std::uint16_t>(14).value_or(0);
    std::uint32_t compression = dib.read<std::uint32_t>(16).value_or(0);
    std::uint32_t used = dib.read<std::uint32_t>(32).value_or(0);
    colours = 4ull * (used ? used : bits <= 8 ? 1u << bits : 0);
    // BI_BITFIELDS and BI_ALPHABITFIELDS masks follow the short header.
    if (*headerSize == 40) masks = compression == 3 ? 12 : compression == 6 ? 16 : 0;
  }
  std::uint64_t bitsOffset = 14 + *headerSize + masks + colours;
  if (bitsOffset - 14 > dib.size() || dib.size() > UINT32_MAX - 14) return {};
  std::vector<unsigned char> file(14 + dib.size());
  auto put32 = [&](std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, file.size());
  put32(10, bitsOffset);
  std::memcpy(file.data() + 14, dib.data(), dib.size());
  return file;
}

}  // namespace

KvRxResourceInstanceImp::KvRxResourceInstanceImp(void* handle, std::shared_ptr<void> reference)
    : handle_(handle), reference_(std::move(reference)) {}

KvRxResourceInstanceImp::KvRxResourceInstanceImp(const wchar_t* fileName) {
  if (!fileName || !*fileName) return;
  unsigned error = 0;
  auto module = detail::ResourceModule::open(findResourceFile(detail::wideToUtf8(fileName)).c_str(), error);
  if (!module) return;
  auto* resources = new Resources(std::move(module));
  Registry& registry = Registry::get();
  {
    std::lock_guard<std::mutex> lock(registry.lock);
    registry.own.insert(resources);
  }
  handle_ = resources;
  reference_ = std::shared_ptr<void>(resources, [](void* handle) {
    Registry& registry = Registry::get();
    {
      std::lock_guard<std::mutex> lock(registry.lock);
      registry.own.erase(handle);
    }
    delete static_cast<Resources*>(handle);
  });
}

KvRxResourceInstanceImp::KvRxResourceInstanceImp(const KvLocale& locale, const wchar_t* fileName)
    : KvRxResourceInstanceImp(localisedPath(locale, fileName).c_str()) {}

KvRxResourceInstanceImp::KvRxResourceInstanceImp(void* handle) : handle_(handle) {}

KvRxResourceInstanceImp::KvRxResourceInstanceImp(const KvRxResourceInstanceImp& other) = default;
KvRxResourceInstanceImp& KvRxResourceInstanceImp::operator=(const KvRxResourceInstanceImp& other) = default;
KvRxResourceInstanceImp::~KvRxResourceInstanceImp() = default;

KvRxResourceInstanceImp KvRxResourceInstanceImp::globalResource() {
  return KvRxResourceInstanceImp(currentResourceModule.load());
}

bool KvRxResourceInstanceImp::setAsGlobalResource() const {
  // A null handle is refused even while no module is current.
  if (!handle_) return false;
  if (handle_ == currentResourceModule.load()) return true;
  currentResourceModule.store(handle_);
  return false;
}

bool KvRxResourceInstanceImp::isLoaded() const {
  return handle_ != nullptr;
}

int KvRxResourceInstanceImp::tryLoadString(int id, const wchar_t*& text,
                                           std::wstring& /*not written*/) const {
  Resources* resources = isAbsent(handle_) ? nullptr : resourcesOf(handle_);
  const std::wstring* string = resources ? resources->string(static_cast<unsigned>(id)) : nullptr;
  if (!string || string->empty()) return 0;
  text = string->data();
  return static_cast<int>(string->size());
}

bool KvRxResourceInstanceImp::loadDataResource(int id, unsigned long& size, const void*& data) const {
  size = 0;
  data = nullptr;
  auto found = findNumbered(handle_, detail::kRtRcData, id);
  if (!found || found->size() == 0) return false;
  size = found->size();
  data = found->data();
  return true;
}

void KvRxResourceInstanceImp::freeDataResource(const void*& /*data: mapped with the module*/) const {}

void* KvRxResourceInstanceImp::loadBitmap(int id) const {
  static const bool imagingStarted = GraphicsImage::detail::startImaging();
  auto dib = findNumbered(handle_, detail::kRtBitmap, id);
  if (!dib || !imagingStarted) return nullptr;
  std::vector<unsigned char> file = bmpFile(*dib);
  if (file.empty()) return nullptr;
  return GraphicsImage::detail::decodeNative(file.data(), file.size(), GraphicsImage::detail::kPixelBudget);
}

void KvRxResourceInstanceImp::freeBitmap(void* bitmap) const {
  if (bitmap) GraphicsImage::detail::releaseNative(bitmap);
}

const char* LoadResource(const wchar_t* name, const wchar_t* type, const wchar_t* suffix, unsigned int& size,
                         void* module, bool) {
  ResourceKey key = ResourceKey::fromText(name);
  if (key.isNamed() && suffix && *suffix) key = ResourceKey::fromText((key.name + suffix).c_str());
  Resources* resources = resourcesOf(module, true);
  auto data = resources ? resources->directory().find(ResourceKey::fromText(type), key) : std::nullopt;
  if (!data) {
    Diagnostics::assertMessage(L"Resource not found.", Diagnostics::ShowDialog);
    return nullptr;
  }
  size = static_cast<unsigned int>(data->size());
  return reinterpret_cast<const char*>(data->data());
}

}  // namespace Halvex::Tessaran::PAL
