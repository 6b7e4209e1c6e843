// The user's names from the password database, standing in for the Windows
// user-name services.
#pragma once

#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// The full name of a GECOS field: its first comma-separated item.
std::string_view fullNameFromGecos(std::string_view gecos);

}  // namespace Halvex::Tessaran::PAL::detail
