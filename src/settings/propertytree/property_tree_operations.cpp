// Value differences, feature-toggle merging and system-variable translation
// on property trees.
#include "pal/property_tree_operations.h"

#include <map>
#include <vector>

namespace pt = boost::property_tree;

namespace PropertyTreeOperations {

namespace {

template <class Tree>
using Key = typename Tree::key_type;

// Pairs the children of a walked node with those of its counterpart in
// another tree: the n-th child with a key stands against the n-th child with
// that key there. Array elements (empty keys) and repeated keys are thus
// matched one by one, where a lookup by path would find the first each time.
// The counterpart's children are taken as they are when the pairing starts;
// children appended later are not paired.
template <class Tree, class Other>
class Pairing {
 public:
  explicit Pairing(Other* counterpart) {
    if (counterpart)
      for (auto& [key, child] : *counterpart) children_[key].push_back(&child);
  }

  // The counterpart of the walked node's next child with `key`, or null.
  Other* next(const Key<Tree>& key) {
    const std::size_t n = seen_[key]++;
    const auto it = children_.find(key);
    return it != children_.end() && n < it->second.size() ? it->second[n] : nullptr;
  }

 private:
  std::map<Key<Tree>, std::vector<Other*>> children_;
  std::map<Key<Tree>, std::size_t> seen_;
};

// A node of the result that is made only when something is put in it, on
// the end of its parent's children, with an empty value.
template <class Tree>
struct Pending {
  Pending* parent;
  const Key<Tree>* key;
  Tree* node;

  Tree& get() {
    if (!node) node = &parent->get().push_back({*key, Tree()})->second;
    return *node;
  }
};

// Adds to `out` (standing for `a`) every non-empty value below `a` that its
// counterpart `b` lacks or holds differently.
template <class Tree>
void addDifferences(const Tree& a, const Tree* b, Pending<Tree>& out) {
  Pairing<Tree, const Tree> pairing(b);
  for (const auto& [key, child] : a) {
    const Tree* other = pairing.next(key);
    Pending<Tree> slot{&out, &key, nullptr};
    if (!child.data().empty() && (!other || other->data() != child.data())) slot.get().data() = child.data();
    addDifferences(child, other, slot);
  }
}

template <class Tree>
Tree valueDifference(const Tree& a, const Tree& b) {
  Tree result;
  Pending<Tree> root{nullptr, nullptr, &result};
  addDifferences(a, &b, root);
  return result;
}

bool holdsValue(const pt::wptree& tree) {
  for (const auto& [key, child] : tree)
    if (!child.data().empty() || holdsValue(child)) return true;
  return false;
}

// Lays `toggles` over `result`, its counterpart in (a copy of) the settings:
// children the settings lack are appended with their subtrees, non-empty
// differing values win. Gives whether the toggles below differ from the
// settings; a node that only leads to such a difference takes the empty
// value the difference tree gives it.
bool overlay(const pt::wptree& toggles, pt::wptree& result) {
  Pairing<pt::wptree, pt::wptree> pairing(&result);
  bool differs = false;
  for (const auto& [key, child] : toggles) {
    pt::wptree* counterpart = pairing.next(key);
    if (!counterpart) {
      result.push_back({key, child});
      differs = differs || !child.data().empty() || holdsValue(child);
      continue;
    }
    const bool own = !child.data().empty() && child.data() != counterpart->data();
    const bool below = overlay(child, *counterpart);
    if (own)
      counterpart->data() = child.data();
    else if (below)
      counterpart->data().clear();
    differs = differs || own || below;
  }
  return differs;
}

// The keys from the root down to a description node, each with its
// occurrence among the siblings of that key.
using Steps = std::vector<std::pair<const std::wstring*, std::size_t>>;

// The node of `tree` standing where the steps [first, last) lead; missing
// nodes are made on the end of their parents.
pt::wptree& nodeAt(pt::wptree& tree, Steps::const_iterator first, Steps::const_iterator last) {
  pt::wptree* node = &tree;
  for (auto step = first; step != last; ++step) {
    std::size_t n = 0;
    pt::wptree* found = nullptr;
    for (auto& [key, child] : *node)
      if (key == *step->first && n++ == step->second) {
        found = &child;
        break;
      }
    node = found ? found : &node->push_back({*step->first, pt::wptree()})->second;
  }
  return *node;
}

void translate(const pt::wptree& values, const pt::wptree& descriptions, pt::wptree& result, Steps& steps) {
  std::map<std::wstring, std::size_t> seen;
  for (const auto& [key, node] : descriptions) {
    steps.push_back({&key, seen[key]++});
    if (steps.size() >= 2 && *steps.front().first == L"Variables" && key == L"@") {
      const std::wstring& name = *steps[1].first;
      const auto variable = values.find(name);
      if (variable != values.not_found() && !variable->second.data().empty() &&
          variable->second.data() != node.data()) {
        result.erase(name);
        pt::wptree& parent = nodeAt(result, steps.begin(), steps.end() - 1);
        parent.push_back({key, pt::wptree(variable->second.data())});
        parent.push_back({L"StorageType", pt::wptree(L"0")});
      }
    }
    translate(values, node, result, steps);
    steps.pop_back();
  }
}

}  // namespace

pt::wptree tree_value_difference(const pt::wptree& a, const pt::wptree& b) {
  return valueDifference(a, b);
}

pt::ptree tree_value_difference(const pt::ptree& a, const pt::ptree& b) {
  return valueDifference(a, b);
}

pt::wptree mergeWithFeatureToggleSettingsFile(const pt::wptree& settings, const pt::wptree& toggles) {
  pt::wptree result = settings;
  overlay(toggles, result);
  return result;
}

pt::wptree translationOfSysvar(const pt::wptree& values, const pt::wptree& descriptions) {
  pt::wptree result = values;
  Steps steps;
  translate(values, descriptions, result, steps);
  return result;
}

}  // namespace PropertyTreeOperations
