#include "tutil/WorkTables.h"

#include "paradox/Family.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace tutil {
namespace fs = std::filesystem;
namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The upper-case extension when `name` is stem + "." + extension (extension without dots).
std::string ExtensionOfMember(const std::string& name, const std::string& upperStem) {
    if (name.size() <= upperStem.size() + 1 || name[upperStem.size()] != '.') {
        return {};
    }
    if (Upper(name.substr(0, upperStem.size())) != upperStem) {
        return {};
    }
    std::string extension = name.substr(upperStem.size() + 1);
    if (extension.find('.') != std::string::npos) {
        return {};
    }
    return Upper(extension);
}

bool IsDataFile(const std::string& upperExtension) {
    return upperExtension == "DB" || upperExtension == "PX" || upperExtension == "MB" ||
           paradox::IsSecondaryIndexExtension(upperExtension);
}

} // namespace

std::vector<std::string> FamilyFileNames(const fs::path& dir, const std::string& stem) {
    std::vector<std::string> names;
    const std::string upperStem = Upper(stem);
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!ExtensionOfMember(name, upperStem).empty() && it->is_regular_file(ec)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

void PlanFamilyReplacement(SwapPlan& plan, const fs::path& dir, const fs::path& staging,
                           const std::string& stem, bool keepOthers) {
    const std::string upperStem = Upper(stem);
    std::vector<std::string> old = FamilyFileNames(dir, stem);
    std::vector<bool> replaced(old.size(), false);
    for (const std::string& staged : FamilyFileNames(staging, stem)) {
        const std::string extension = ExtensionOfMember(staged, upperStem);
        std::string target = staged;
        for (std::size_t i = 0; i < old.size(); ++i) {
            if (ExtensionOfMember(old[i], upperStem) == extension) {
                target = old[i];
                replaced[i] = true;
                break;
            }
        }
        plan.moves.emplace_back(staged, target);
    }
    for (std::size_t i = 0; i < old.size(); ++i) {
        if (replaced[i]) {
            continue;
        }
        if (keepOthers && !IsDataFile(ExtensionOfMember(old[i], upperStem))) {
            continue;
        }
        plan.removals.push_back(old[i]);
    }
}

} // namespace tutil
