#include "engine/FileNames.h"

#include "paradox/NameCase.h"

#include <algorithm>
#include <cctype>

namespace engine {
namespace {

using paradox::SameName;

constexpr WorkTableKind kKinds[] = {WorkTableKind::Backup, WorkTableKind::KeyViolations,
                                    WorkTableKind::Problems};
constexpr std::string_view kTableExtension = ".DB";
constexpr std::string_view kRunFolderPrefix = "run-";
constexpr int kNumberCeiling = 1'000'000'000;

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           SameName(text.substr(text.size() - suffix.size()), suffix);
}

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

// The decimal number of `digits`, no greater than kNumberCeiling (a longer run of digits is
// still a number, only a large one).
int NumberOf(std::string_view digits) {
    long long number = 0;
    for (const char c : digits) {
        number = std::min<long long>(kNumberCeiling, number * 10 + (c - '0'));
    }
    return static_cast<int>(number);
}

} // namespace

std::string_view WorkTableSuffix(WorkTableKind kind) {
    switch (kind) {
    case WorkTableKind::Backup:
        return "-BACKUP";
    case WorkTableKind::KeyViolations:
        return "-KEYVIOL";
    case WorkTableKind::Problems:
        break;
    }
    return "-PROBLEM";
}

std::string WorkTableStem(const std::string& tableStem, WorkTableKind kind) {
    return tableStem + std::string(WorkTableSuffix(kind));
}

std::string WorkTableFileName(const std::string& tableStem, WorkTableKind kind) {
    return WorkTableStem(tableStem, kind) + std::string(kTableExtension);
}

std::string NumberedStem(const std::string& stem, int number) {
    return number == 0 ? stem : stem + std::to_string(number);
}

std::optional<int> StemNumber(std::string_view stem, std::string_view base) {
    if (stem.size() < base.size() || !SameName(stem.substr(0, base.size()), base)) {
        return std::nullopt;
    }
    const std::string_view digits = stem.substr(base.size());
    if (!AllDigits(digits)) {
        return std::nullopt;
    }
    return NumberOf(digits);
}

std::optional<WorkTableName> ParseWorkTableName(std::string_view fileName) {
    if (!EndsWithNoCase(fileName, kTableExtension)) {
        return std::nullopt;
    }
    std::string_view stem = fileName.substr(0, fileName.size() - kTableExtension.size());
    std::size_t digits = 0;
    while (digits < stem.size() &&
           std::isdigit(static_cast<unsigned char>(stem[stem.size() - 1 - digits])) != 0) {
        ++digits;
    }
    const std::string_view numbered = stem.substr(0, stem.size() - digits);
    for (const WorkTableKind kind : kKinds) {
        const std::string_view suffix = WorkTableSuffix(kind);
        if (EndsWithNoCase(numbered, suffix)) {
            WorkTableName name;
            name.tableStem = std::string(numbered.substr(0, numbered.size() - suffix.size()));
            name.kind = kind;
            name.number = NumberOf(stem.substr(numbered.size()));
            return name;
        }
    }
    return std::nullopt;
}

bool IsErrorTableName(std::string_view fileName) {
    return SameName(fileName, kVerifyErrorTable) || SameName(fileName, kRebuildErrorTable);
}

std::filesystem::path PrivateDirectoryIn(const std::filesystem::path& parent) {
    return parent / "priv";
}

std::string RunFolderPattern() {
    return std::string(kRunFolderPrefix) + "XXXXXX";
}

bool IsRunFolderName(std::string_view name) {
    return name.substr(0, kRunFolderPrefix.size()) == kRunFolderPrefix;
}

std::filesystem::path RunLogPath(const std::filesystem::path& programDirectory) {
    return PrivateDirectoryIn(programDirectory) / "1Mendrix.log";
}

} // namespace engine
