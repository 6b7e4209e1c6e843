// Internal pieces of the script analysis, reachable by its tests.
#pragma once

#include <string>
#include <vector>

#include "pal/script_processor.h"

namespace Halvex::Tessaran::PAL::ScriptProcessor::detail {

// Whether the UTF-16 unit makes a text need complex shaping.
bool isComplexUnit(char16_t unit);

// One record per unit of a non-empty text, from ICU; false when ICU fails.
bool analyseUnits(bool rightToLeft, const std::u16string& units, std::vector<BoundaryAndRTL>& records);

}  // namespace Halvex::Tessaran::PAL::ScriptProcessor::detail
