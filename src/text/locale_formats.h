// The user's number-format settings as the C library's locale categories
// hold them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

enum class UserSetting { Decimal, Thousands, Grouping, Currency, Measure };

// The setting in Windows' form (grouping as "3;0", the measurement system
// as "0" metric or "1" US); nothing when its category names no installed
// locale.
std::optional<std::wstring> readUserSetting(UserSetting setting);

// The C library's grouping bytes in Windows' notation.
std::wstring windowsGrouping(std::string_view grouping);

}  // namespace Halvex::Tessaran::PAL::detail
