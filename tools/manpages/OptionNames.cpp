#include "OptionNames.h"

namespace manpages {

std::vector<std::string> SplitOptionNames(const std::string& names) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < names.size()) {
        std::size_t comma = names.find(',', start);
        if (comma == std::string::npos) {
            comma = names.size();
        }
        parts.push_back(names.substr(start, comma - start));
        start = comma + 1;
    }
    return parts;
}

} // namespace manpages
