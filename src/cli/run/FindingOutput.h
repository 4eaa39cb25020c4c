#pragma once

#include "paradox/Finding.h"

#include <iosfwd>

namespace cli {

// One finding per line (Finding::Describe), at most `perCode` lines of each code, then a line
// saying how many more of that code there were.
void PrintFindings(const paradox::FindingList& findings, std::ostream& err,
                   std::size_t perCode = 20);

} // namespace cli
