// What the settings implementations share beyond the public header.
#pragma once

#include "pal/settings.h"

namespace Halvex::Tessaran::PAL::detail {

// The host's expander, or null; read without synchronisation (registered
// at start-up).
Settings::IUserProfileVariableExpander* registeredExpander();

}  // namespace Halvex::Tessaran::PAL::detail
