// Tree differences, feature-toggle merging and system-variable translation.
#include "pal/property_tree_operations.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>

namespace pt = boost::property_tree;
using namespace PropertyTreeOperations;

namespace {

// Builds a tree by adding (path, value) nodes in order, so repeated keys and
// nodes holding both a value and children can be written down. With '/' as
// the separator, keys may hold '.'.
template <class Tree = pt::wptree>
Tree treeOf(std::initializer_list<std::pair<typename Tree::key_type, typename Tree::key_type>> nodes,
            char separator = '.') {
  Tree tree;
  for (const auto& [path, value] : nodes)
    tree.add_child(typename Tree::path_type(path, separator), Tree(value));
  return tree;
}

// {"arr": [values...]}: array elements have empty keys.
pt::wptree arrayOf(std::initializer_list<const wchar_t*> values) {
  pt::wptree array;
  for (const wchar_t* value : values) array.push_back({L"", pt::wptree(value)});
  pt::wptree tree;
  tree.add_child(L"arr", array);
  return tree;
}

// {"arr": ["1", {"k": "2"}, "3"], "v.w": "4"}
pt::wptree arraysTree() {
  pt::wptree tree = arrayOf({L"1", L"", L"3"});
  std::next(tree.get_child(L"arr").begin())->second.put(L"k", L"2");
  tree.push_back({L"v.w", pt::wptree(L"4")});
  return tree;
}

// Order-sensitive text of a tree: key=value, children in braces.
template <class Tree>
typename Tree::key_type dump(const Tree& tree) {
  using Text = typename Tree::key_type;
  Text out;
  for (const auto& [key, child] : tree) {
    if (!out.empty()) out += ' ';
    out += key + Text(1, '=') + child.data();
    if (!child.empty()) out += Text(1, '{') + dump(child) + Text(1, '}');
  }
  return out;
}

// One operation applied to two trees, compared through dump().
struct Case {
  const char* name;
  pt::wptree first, second;
  std::wstring expected;
};

template <std::size_t N>
void expectEach(const Case (&cases)[N], pt::wptree (*operation)(const pt::wptree&, const pt::wptree&)) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(dump(operation(c.first, c.second)), c.expected);
  }
}

TEST(TreeValueDifference, KeepsValuesTheOtherTreeLacksOrHoldsDifferently) {
  const Case cases[] = {
      // a, b
      {"self", treeOf({{L"x", L"1"}, {L"g.y", L"2"}}), treeOf({{L"x", L"1"}, {L"g.y", L"2"}}), L""},
      {"missing in b", treeOf({{L"x", L"1"}}), {}, L"x=1"},
      {"empty value", treeOf({{L"x", L""}}), {}, L""},
      {"empty in b counts as absent", treeOf({{L"x", L"1"}}), treeOf({{L"x", L""}}), L"x=1"},
      {"exact comparison", treeOf({{L"x", L"On"}}), treeOf({{L"x", L"on"}}), L"x=On"},
      {"only leads to a difference", treeOf({{L"g.h.y", L"2"}, {L"g.z", L"3"}}),
       treeOf({{L"g.h.y", L"1"}, {L"g.z", L"3"}}), L"g={h={y=2}}"},
      {"value and child both differ", treeOf({{L"p", L"1"}, {L"p.c", L"2"}}), treeOf({{L"p.c", L"9"}}),
       L"p=1{c=2}"},
      // The n-th "x" of a stands against the n-th "x" of b.
      {"repeated keys", treeOf({{L"x", L"1"}, {L"x", L"2"}}), treeOf({{L"x", L"1"}, {L"x", L"2"}}), L""},
      {"repeated key b lacks", treeOf({{L"x", L"1"}, {L"x", L"2"}}), treeOf({{L"x", L"1"}}), L"x=2"},
      {"arrays and dotted keys, self", arraysTree(), arraysTree(), L""},
      {"array element differs", arrayOf({L"1", L"2"}), arrayOf({L"1", L"3"}), L"arr={=2}"},
      {"dotted key differs", treeOf({{L"v.w", L"1"}}, '/'), treeOf({{L"v.w", L"2"}}, '/'), L"v.w=1"},
      {"extra nodes of b", treeOf({{L"x", L"1"}}), treeOf({{L"x", L"1"}, {L"y", L"2"}}), L""},
  };
  expectEach(cases, tree_value_difference);
}

TEST(TreeValueDifference, NarrowTreesCompareBytes) {
  const auto a = treeOf<pt::ptree>({{"r.v", "caf\xC3\xA9"}, {"r.w", "same"}});
  const auto b = treeOf<pt::ptree>({{"r.v", "cafe"}, {"r.w", "same"}});
  EXPECT_EQ(dump(tree_value_difference(a, b)), "r={v=caf\xC3\xA9}");
  EXPECT_EQ(dump(tree_value_difference(a, a)), "");
}

TEST(MergeWithFeatureToggles, TogglesWinAndAddWhatSettingsLack) {
  const Case cases[] = {
      // settings, toggles
      {"override and append", treeOf({{L"a", L"1"}, {L"b", L"2"}}), treeOf({{L"b", L"3"}, {L"c", L"4"}}),
       L"a=1 b=3 c=4"},
      {"empty toggle keeps the setting", treeOf({{L"a", L"1"}}), treeOf({{L"a", L""}}), L"a=1"},
      {"new nodes follow existing children in toggle order",
       treeOf({{L"g.x", L"1"}, {L"g.y", L"2"}, {L"h", L"5"}}),
       treeOf({{L"g.z", L"3"}, {L"g.y", L"4"}, {L"n.m.k", L"6"}, {L"g.w", L""}}),
       L"g={x=1 y=4 z=3 w=} h=5 n={m={k=6}}"},
      {"nothing removed", treeOf({{L"a", L"1"}, {L"b.c", L"2"}}), {}, L"a=1 b={c=2}"},
      {"with itself", arraysTree(), arraysTree(), L"arr={=1 ={k=2} =3} v.w=4"},
      {"array elements laid one over one", arrayOf({L"1"}), arrayOf({L"5", L"6"}), L"arr={=5 =6}"},
  };
  expectEach(cases, mergeWithFeatureToggleSettingsFile);
}

TEST(TranslationOfSysvar, MovesDifferingValuesIntoTheirDescription) {
  const Case cases[] = {
      // values, descriptions
      {"differs or matches", treeOf({{L"FOO", L"5"}, {L"BAR", L"1"}}),
       treeOf({{L"Variables.FOO.@", L"3"}, {L"Variables.BAR.@", L"1"}}),
       L"BAR=1 Variables={FOO={@=5 StorageType=0}}"},
      // Exact key text: a printable form would turn the name into "*".
      {"name outside ASCII", treeOf({{L"M\u00dcNZE", L"2"}, {L"*", L"7"}}),
       treeOf({{L"Variables.M\u00dcNZE.@", L"1"}}), L"*=7 Variables={M\u00dcNZE={@=2 StorageType=0}}"},
      {"every top-level entry of the name goes", treeOf({{L"X", L"5"}, {L"Y", L"0"}, {L"X", L"6"}}),
       treeOf({{L"Variables.X.@", L"1"}}), L"Y=0 Variables={X={@=5 StorageType=0}}"},
      {"name holding a dot", treeOf({{L"A.B", L"5"}}, '/'), treeOf({{L"Variables/A.B/@", L"1"}}, '/'),
       L"Variables={A.B={@=5 StorageType=0}}"},
      {"deeper description path", treeOf({{L"V", L"9"}}), treeOf({{L"Variables.V.Sub.@", L"1"}}),
       L"Variables={V={Sub={@=9 StorageType=0}}}"},
      {"skipped", treeOf({{L"E", L""}, {L"F", L"1"}, {L"G", L"2"}}),
       treeOf({{L"Variables.E.@", L"1"},          // empty value
               {L"Variables.Z.@", L"1"},          // no such variable
               {L"Other.F.@", L"0"},              // not under Variables
               {L"Variables.G.Default", L"0"}}),  // not an "@" node
       L"E= F=1 G=2"},
  };
  expectEach(cases, translationOfSysvar);
}

}  // namespace
