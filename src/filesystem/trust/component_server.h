// In-process component servers: a shared object whose exported class-object
// entry point hands out objects with a v-table of plain C calls, the first
// three of which count references and answer other interfaces.
#pragma once

#include <cstdint>
#include <string>

#include "pal/code_trust.h"

namespace Halvex::Tessaran::PAL::detail {

using HRESULT = std::int32_t;
using CodeTrust::ComponentId;

// An object as the server hands it out: a pointer to its v-table first.
struct ComponentObject {
  void* const* vtable;
};

// The v-table slots after the reference-counting and query methods.
inline constexpr int kFirstInterfaceSlot = 3;

// An instance of `classId` answering `interfaceId`, from the server at
// `serverPath` (loaded and kept loaded); null when the server cannot be
// loaded, lacks the entry point, or refuses. The caller releases it.
ComponentObject* createInstance(const std::string& serverPath, const ComponentId& classId,
                                const ComponentId& interfaceId);

void release(ComponentObject* object);

}  // namespace Halvex::Tessaran::PAL::detail
