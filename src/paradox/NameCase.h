#pragma once

#include <string>
#include <string_view>

namespace paradox {

// Table, file, alias and index names are compared without regard to the case of ASCII
// letters; these are the one place that rule is written down.
std::string UpperAscii(std::string_view text);
bool SameName(std::string_view a, std::string_view b);

} // namespace paradox
