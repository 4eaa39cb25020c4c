#include "tutil/WorkTables.h"

#include "engine/ErrorCodes.h"
#include "engine/FileNames.h"
#include "paradox/DirectoryListing.h"
#include "paradox/Family.h"
#include "paradox/NameCase.h"
#include "tutil/UtilityError.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace tutil {
namespace fs = std::filesystem;
namespace {

// The upper-case extension when `name` is stem + "." + extension (extension without dots).
std::string ExtensionOfMember(const std::string& name, const std::string& upperStem) {
    if (name.size() <= upperStem.size() + 1 || name[upperStem.size()] != '.') {
        return {};
    }
    if (paradox::UpperAscii(name.substr(0, upperStem.size())) != upperStem) {
        return {};
    }
    std::string extension = name.substr(upperStem.size() + 1);
    if (extension.find('.') != std::string::npos) {
        return {};
    }
    return paradox::UpperAscii(extension);
}

bool IsDataFile(const std::string& upperExtension) {
    return upperExtension == "DB" || upperExtension == "PX" || upperExtension == "MB" ||
           paradox::IsSecondaryIndexExtension(upperExtension);
}

} // namespace

std::vector<std::string> RegularFileNames(const fs::path& dir) {
    std::vector<std::string> names;
    // Held here: another thread's listing of the folder may replace the cached one meanwhile.
    const auto listing = paradox::ListDirectory(dir);
    for (const auto& entry : listing->Entries()) {
        if (entry.regular) {
            names.push_back(entry.name);
        }
    }
    return names;
}

std::vector<std::string> FamilyFileNames(const fs::path& dir, const std::string& stem) {
    std::vector<std::string> names =
        paradox::SplitFamilyNames(paradox::ListDirectory(dir)->RegularNamesWithStem(stem), stem)
            .members;
    std::sort(names.begin(), names.end());
    return names;
}

void PlanFamilyReplacement(SwapPlan& plan, const fs::path& dir, const fs::path& staging,
                           const std::string& stem, bool keepOthers) {
    const std::string upperStem = paradox::UpperAscii(stem);
    std::vector<std::string> old = FamilyFileNames(dir, stem);
    std::vector<bool> replaced(old.size(), false);
    const auto table = std::find_if(old.begin(), old.end(), [&](const std::string& name) {
        return ExtensionOfMember(name, upperStem) == "DB";
    });
    for (const std::string& staged : FamilyFileNames(staging, stem)) {
        const std::string extension = ExtensionOfMember(staged, upperStem);
        // A member the old family lacks follows the case of the table's name.
        std::string target =
            table == old.end() ? staged : paradox::FamilyMemberName(*table, extension);
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

void PlanNewFamily(SwapPlan& plan, const fs::path& staging, const std::string& stem) {
    for (const std::string& staged : FamilyFileNames(staging, stem)) {
        plan.additions.push_back(staged);
    }
}

std::string FreeWorkTableStem(const fs::path& dir, const std::string& stem,
                              const std::vector<std::string>& taken) {
    // Every name counts, whatever kind of file it is.
    const auto listing = paradox::ListDirectory(dir);
    const auto& entries = listing->Entries();
    for (int number = 0; number < 10000; ++number) {
        const std::string candidate = engine::NumberedStem(stem, number);
        const std::string upper = paradox::UpperAscii(candidate);
        const bool used = std::any_of(entries.begin(), entries.end(),
                                      [&](const paradox::DirectoryListing::Entry& entry) {
                                          return !ExtensionOfMember(entry.name, upper).empty();
                                      }) ||
                          std::any_of(taken.begin(), taken.end(), [&](const std::string& other) {
                              return paradox::UpperAscii(other) == upper;
                          });
        if (!used) {
            return candidate;
        }
    }
    throw UtilityError(engine::err::InvalidArgument,
                       "no free name for the work table " + stem + " in " + dir.string());
}

} // namespace tutil
