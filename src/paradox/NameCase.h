#pragma once

#include <string>
#include <string_view>

namespace paradox {

// Table, file, alias and index names are compared without regard to the case of ASCII
// letters; these are the one place that rule is written down.
std::string UpperAscii(std::string_view text);
bool SameName(std::string_view a, std::string_view b);

// The name of a new member with extension `upperExtension` ("PX", "X02") of the family of the
// table file `dbName` ("biolife.db"): the table's stem, and the extension in lower case when
// the table's has no upper-case letter ("biolife.px"), else in upper case.
std::string FamilyMemberName(std::string_view dbName, std::string_view upperExtension);

} // namespace paradox
