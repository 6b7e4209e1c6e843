// Lays the state of an opaque synchronisation object on its own 128-byte
// aligned block (one cache-line pair, so neighbours never share a line).
#pragma once

#include <new>
#include <utility>

#include "pal/memory.h"

namespace Halvex::Tessaran::PAL::detail {

constexpr size_t kSyncObjectAlignment = 128;

// Null when memory is exhausted.
template <typename Public, typename State>
Public* newOpaque() {
  void* block = kvAllocAligned(kSyncObjectAlignment, sizeof(State));
  if (!block) return nullptr;
  new (block) State;
  return static_cast<Public*>(block);
}

template <typename State, typename Public>
State& stateOf(Public* object) {
  return *std::launder(reinterpret_cast<State*>(object));
}

template <typename State, typename Public>
void deleteOpaque(Public* object) {
  if (!object) return;
  stateOf<State>(object).~State();
  kvFreeAligned(object);
}

}  // namespace Halvex::Tessaran::PAL::detail
