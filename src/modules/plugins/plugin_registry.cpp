// The registration tables every loader keeps, the facade, and the loader of
// the alternate host environment.
#include <atomic>

#include "modules/plugins/plugin_host.h"
#include "pal/plugin_loader.h"
#include "pal/process.h"
#include "pal/shared_objects.h"

namespace Halvex::Tessaran::PAL {

namespace {

std::atomic<IPluginLoaderHost*> g_host{nullptr};

// Only A to Z change, as the C runtime's narrow mapping does unit by unit.
std::wstring tableKey(const wchar_t* name) {
  std::wstring key = name ? name : L"";
  for (wchar_t& c : key)
    if (c >= L'A' && c <= L'Z') c = c - L'A' + L'a';
  return key;
}

}  // namespace

IPluginLoaderHost* detail::pluginLoaderHost() {
  return g_host.load(std::memory_order_acquire);
}

PluginLoaderImp::PluginLoaderImp() = default;
PluginLoaderImp::~PluginLoaderImp() = default;

void PluginLoaderImp::registerPlugin(const wchar_t* name, void* entryPoint) {
  auto table = std::make_shared<SymbolTable>();
  if (entryPoint) (*table)[entryPointSymbolName()] = entryPoint;
  registered_[tableKey(name)] = std::move(table);
}

void PluginLoaderImp::unregisterPlugin(const wchar_t* name) {
  registered_.erase(tableKey(name));
}

void* PluginLoaderImp::loadPlugin(const wchar_t* name, bool, char* kind) {
  std::wstring key = tableKey(name);
  auto found = registered_.find(key);
  if (found == registered_.end()) return nullptr;
  loaded_[key] = found->second;
  if (kind) *kind = 0;
  return found->second.get();
}

void PluginLoaderImp::registerPluginSymbol(const wchar_t* name, const char* symbol, void* address) {
  if (!address || !symbol) return;
  auto found = registered_.find(tableKey(name));
  if (found != registered_.end()) (*found->second)[symbol] = address;
}

bool PluginLoaderImp::unloadPlugin(void* handle) {
  for (auto it = loaded_.begin(); it != loaded_.end(); ++it)
    if (it->second.get() == handle) {
      loaded_.erase(it);
      return true;
    }
  return false;
}

void* PluginLoaderImp::getPluginSymbol(void* handle, const char* symbol) const {
  if (!handle || !symbol) return nullptr;
  // A handle is only ever looked at when one of the loaded tables is it.
  for (const auto& [name, table] : loaded_)
    if (table.get() == handle) {
      auto found = table->find(symbol);
      return found == table->end() ? nullptr : found->second;
    }
  return nullptr;
}

bool PluginLoaderImp::isPluginLoaded(const wchar_t* name) const {
  return loaded_.count(tableKey(name)) != 0;
}

bool PluginLoaderImp::isBuiltWithCompatibleSDKVersion(const wchar_t*) const {
  return true;
}

void* PluginLoaderImp::mainModuleId() const {
  return reinterpret_cast<void*>(~std::uintptr_t{0});
}

PluginLoaderImp* PluginLoaderImp::create() {
  if (Process::isTrellis()) return new TrellisPluginLoader();
  return new Win32PluginLoader();
}

const char* PluginLoaderImp::entryPointSymbolName() {
  return "kvrxEntryPoint";
}

void PluginLoader::setHost(IPluginLoaderHost* host) {
  g_host.store(host, std::memory_order_release);
}

PluginLoader::PluginLoader() : imp_(PluginLoaderImp::create()) {}

PluginLoader::~PluginLoader() {
  delete imp_;
}

void* PluginLoader::load(const wchar_t* name, bool report, char* kind) {
  return imp_->loadPlugin(name, report, kind);
}

bool PluginLoader::unload(void* handle) {
  return imp_->unloadPlugin(handle);
}

void* PluginLoader::getSymbol(void* handle, const char* symbol) const {
  return imp_->getPluginSymbol(handle, symbol);
}

void PluginLoader::registerPlugin(const wchar_t* name, void* entryPoint) {
  imp_->registerPlugin(name, entryPoint);
}

void PluginLoader::unregisterPlugin(const wchar_t* name) {
  imp_->unregisterPlugin(name);
}

bool PluginLoader::isBuiltWithCompatibleSDKVersion(const wchar_t* path) {
  static PluginLoaderImp* const imp = PluginLoaderImp::create();
  return imp->isBuiltWithCompatibleSDKVersion(path);
}

void* PluginLoader::mainModuleId() {
  static PluginLoaderImp* const imp = PluginLoaderImp::create();
  return imp->mainModuleId();
}

}  // namespace Halvex::Tessaran::PAL

using Halvex::Tessaran::PAL::KvRxSharedObjImp;
using Halvex::Tessaran::PAL::tableKey;

TrellisPluginLoader::TrellisPluginLoader() = default;
TrellisPluginLoader::~TrellisPluginLoader() = default;

void TrellisPluginLoader::registerPlugin(const wchar_t* name, void* entryPoint) {
  inner_.registerPlugin(name, entryPoint);
}

void TrellisPluginLoader::unregisterPlugin(const wchar_t* name) {
  inner_.unregisterPlugin(name);
}

void TrellisPluginLoader::registerPluginSymbol(const wchar_t* name, const char* symbol, void* address) {
  inner_.registerPluginSymbol(name, symbol, address);
}

void* TrellisPluginLoader::loadPlugin(const wchar_t* name, bool report, char* kind) {
  if (void* registered = inner_.loadPlugin(name, report, kind)) return registered;
  if (kind) *kind = 2;
  std::wstring key = tableKey(name);
  if (auto found = byName_.find(key); found != byName_.end()) {
    if (kind) *kind = found->second.fromFile ? 1 : 0;
    return found->second.object.get();
  }
  std::shared_ptr<SharedObject> object(KvRxSharedObjImp::tryLoad(name, true));
  if (!object || !object->isLoaded()) return nullptr;
  if (kind) *kind = 1;
  names_[object.get()] = key;
  byName_[key] = Loaded{object, true};
  return object.get();
}

bool TrellisPluginLoader::unloadPlugin(void* handle) {
  auto found = names_.find(static_cast<const SharedObject*>(handle));
  if (found == names_.end()) return inner_.unloadPlugin(handle);
  byName_.erase(found->second);
  names_.erase(found);
  return true;
}

void* TrellisPluginLoader::getPluginSymbol(void* handle, const char* symbol) const {
  auto found = names_.find(static_cast<const SharedObject*>(handle));
  if (found == names_.end()) return inner_.getPluginSymbol(handle, symbol);
  auto loaded = byName_.find(found->second);
  return loaded == byName_.end() ? nullptr : loaded->second.object->getSymbol(symbol);
}

bool TrellisPluginLoader::isPluginLoaded(const wchar_t* name) const {
  return inner_.isPluginLoaded(name) || byName_.count(tableKey(name)) != 0;
}
