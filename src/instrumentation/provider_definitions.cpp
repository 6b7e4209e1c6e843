// Lookups in the provider's definition tables.
#include "instrumentation/provider_definitions.h"

#include <algorithm>

namespace Halvex::Tessaran::PAL::detail::provider {

namespace {
template <typename Table, typename Pred>
auto* findIn(const Table& table, Pred pred) {
  auto it = std::find_if(std::begin(table), std::end(table), pred);
  return it == std::end(table) ? nullptr : &*it;
}
}  // namespace

const Task* findTask(std::uint16_t value) {
  return findIn(kTasks, [&](const Task& t) { return t.value == value; });
}
const Opcode* findOpcode(std::uint8_t value) {
  return findIn(kOpcodes, [&](const Opcode& o) { return o.value == value; });
}
const Level* findLevel(std::uint8_t value) {
  return findIn(kLevels, [&](const Level& l) { return l.value == value; });
}
const ValueMap* findMap(std::string_view name) {
  return findIn(kMaps, [&](const ValueMap& m) { return m.name == name; });
}
const Event* findEvent(std::uint16_t id) {
  return findIn(kEvents, [&](const Event& e) { return e.id == id; });
}
std::string keywordNames(std::uint64_t mask, std::string_view separator) {
  std::string names;
  for (const auto& k : kKeywords)
    if (mask & k.mask) (names.empty() ? names : names.append(separator)).append(k.name);
  return names;
}

const Template* findTemplate(const Event& e) { return e.tmpl == kNoTemplate ? nullptr : &kTemplates[e.tmpl]; }

}  // namespace Halvex::Tessaran::PAL::detail::provider
