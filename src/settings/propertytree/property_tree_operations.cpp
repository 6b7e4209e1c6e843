// Value differences, feature-toggle merging and system-variable translation
// on property trees.
#include "pal/property_tree_operations.h"

#include <vector>

namespace pt = boost::property_tree;

namespace PropertyTreeOperations {

namespace {

template <class Tree>
using PathText = typename Tree::key_type;

template <class Tree>
typename Tree::path_type pathOf(const PathText<Tree>& text) {
  return typename Tree::path_type(text, typename PathText<Tree>::value_type('.'));
}

// Calls visit(pathText, node) for every node below the root, depth-first in
// document order. The top level has no leading separator even when a key is
// empty, so an empty key below it still yields ".key".
template <class Tree, class Visit>
void walk(const Tree& tree, const Visit& visit, const PathText<Tree>* parentPath = nullptr) {
  for (const auto& [key, child] : tree) {
    PathText<Tree> path = parentPath ? *parentPath + typename PathText<Tree>::value_type('.') + key : key;
    visit(path, child);
    walk(child, visit, &path);
  }
}

template <class Tree>
PathText<Tree> valueAt(const Tree& tree, const PathText<Tree>& path) {
  const auto node = tree.get_child_optional(pathOf<Tree>(path));
  return node ? node->data() : PathText<Tree>();
}

template <class Tree>
bool hasNode(const Tree& tree, const PathText<Tree>& path) {
  return static_cast<bool>(tree.get_child_optional(pathOf<Tree>(path)));
}

template <class Tree>
void addNode(Tree& tree, const PathText<Tree>& path, const PathText<Tree>& value) {
  tree.add_child(pathOf<Tree>(path), Tree(value));
}

template <class Tree>
Tree valueDifference(const Tree& a, const Tree& b) {
  Tree result;
  walk(a, [&](const PathText<Tree>& path, const Tree& node) {
    if (!node.data().empty() && valueAt(b, path) != node.data()) addNode(result, path, node.data());
  });
  return result;
}

std::vector<std::wstring> split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::wstring::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
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
  const pt::wptree differences = valueDifference(toggles, settings);

  pt::wptree missing;
  walk(toggles, [&](const std::wstring& path, const pt::wptree& node) {
    if (!hasNode(settings, path)) addNode(missing, path, node.data());
  });
  walk(missing, [&](const std::wstring& path, const pt::wptree& node) {
    if (!hasNode(settings, path)) addNode(result, path, node.data());
  });

  walk(differences, [&](const std::wstring& path, const pt::wptree& node) {
    if (valueAt(result, path) != node.data()) result.put(pathOf<pt::wptree>(path), node.data());
  });
  return result;
}

pt::wptree translationOfSysvar(const pt::wptree& values, const pt::wptree& descriptions) {
  pt::wptree result = values;
  walk(descriptions, [&](const std::wstring& path, const pt::wptree& node) {
    const std::vector<std::wstring> parts = split(path, L'.');
    if (parts.size() < 2 || parts.front() != L"Variables" || parts.back() != L"@") return;
    const std::wstring& name = parts[1];
    const auto variable = values.find(name);
    if (variable == values.not_found()) return;
    const std::wstring& value = variable->second.data();
    if (value.empty() || value == node.data()) return;
    result.erase(name);
    addNode(result, path, value);
    // The path ends in ".@"; its parent holds the storage type beside it.
    addNode(result, path.substr(0, path.size() - 2) + L".StorageType", std::wstring(L"0"));
  });
  return result;
}

}  // namespace PropertyTreeOperations
