#pragma once

#include <string>
#include <vector>

namespace manpages {

// "-o,--output" as {"-o", "--output"}.
std::vector<std::string> SplitOptionNames(const std::string& names);

} // namespace manpages
