// Operations on property trees read from settings files: value differences,
// merging feature toggles into settings, and moving system-variable values
// into their description layout.
//
// The trees are walked node by node, depth-first in document order, never
// handling the root itself. A node of one tree stands against the node of
// the other reached by the same keys, where the n-th child with a key is
// matched with the n-th child with that key: array elements (empty keys) and
// repeated keys pair one by one, and a key holding "." is one key. (A lookup
// by "."-joined path text would find the first child of each key every
// time, so a tree would differ from itself.)
//
// Where Linux differs from what a Windows caller expects: keys are UTF-32, so
// comparisons are by code point rather than by UTF-16 unit (the outcome is
// the same for well-formed text).
#pragma once

#include <boost/property_tree/ptree.hpp>

#include "pal/export.h"

namespace PropertyTreeOperations {

// Every non-empty value of a that b lacks or holds differently, at the same
// path; nodes that only lead to such values have empty values.
PAL_EXPORT boost::property_tree::wptree tree_value_difference(const boost::property_tree::wptree& a,
                                                              const boost::property_tree::wptree& b);
PAL_EXPORT boost::property_tree::ptree tree_value_difference(const boost::property_tree::ptree& a,
                                                             const boost::property_tree::ptree& b);

// The settings with every path they lack appended from the toggles, and every
// non-empty toggle value laid over them; no settings node is removed and an
// empty toggle value does not clear a settings value.
PAL_EXPORT boost::property_tree::wptree mergeWithFeatureToggleSettingsFile(
    const boost::property_tree::wptree& settings, const boost::property_tree::wptree& toggles);

// For each description node Variables.NAME.[...].@ whose variable NAME is a
// top-level value that is non-empty and differs from the description: NAME
// leaves the top level and its value lands at that path, with StorageType
// "0" beside it. Names are matched by their exact key text.
PAL_EXPORT boost::property_tree::wptree translationOfSysvar(const boost::property_tree::wptree& values,
                                                            const boost::property_tree::wptree& descriptions);

}  // namespace PropertyTreeOperations
