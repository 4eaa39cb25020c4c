#pragma once

#include <string>

namespace codespage {

// docs/codes.md: every code of the problem table with its text, severity, what it makes of a
// verify, whether it stops an open and what a rebuild does about it.
std::string CodesPage();

} // namespace codespage
