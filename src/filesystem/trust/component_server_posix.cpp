// Component servers loaded with dlopen.
#include <dlfcn.h>

#include "filesystem/trust/component_server.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr ComponentId kClassFactoryId{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr int kCreateInstanceSlot = kFirstInterfaceSlot;
constexpr int kReleaseSlot = 2;

using GetClassObject = HRESULT (*)(const ComponentId*, const ComponentId*, void**);
using CreateInstance = HRESULT (*)(ComponentObject*, ComponentObject*, const ComponentId*, void**);

}  // namespace

void release(ComponentObject* object) {
  if (object) reinterpret_cast<std::uint32_t (*)(ComponentObject*)>(object->vtable[kReleaseSlot])(object);
}

ComponentObject* createInstance(const std::string& serverPath, const ComponentId& classId,
                                const ComponentId& interfaceId) {
  // Never closed: objects and class factories may outlive this call, as an
  // in-process server stays loaded until the process frees unused ones.
  void* server = dlopen(serverPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!server) return nullptr;
  auto getClassObject = reinterpret_cast<GetClassObject>(dlsym(server, "DllGetClassObject"));
  void* factory = nullptr;
  if (!getClassObject || getClassObject(&classId, &kClassFactoryId, &factory) < 0 || !factory) return nullptr;
  auto* factoryObject = static_cast<ComponentObject*>(factory);
  void* instance = nullptr;
  const HRESULT created = reinterpret_cast<CreateInstance>(factoryObject->vtable[kCreateInstanceSlot])(
      factoryObject, nullptr, &interfaceId, &instance);
  release(factoryObject);
  return created < 0 ? nullptr : static_cast<ComponentObject*>(instance);
}

}  // namespace Halvex::Tessaran::PAL::detail
