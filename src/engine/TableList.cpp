#include "engine/TableList.h"

#include "engine/Config.h"
#include "engine/Database.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/FileNames.h"
#include "engine/RebuildFiles.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fnmatch.h>
#include <system_error>

namespace engine {
namespace {

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           SameName(text.substr(text.size() - suffix.size()), suffix);
}

bool LessNoCase(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char c) { return std::tolower(c); };
    const bool less =
        std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) {
            return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
        });
    const bool greater =
        std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), [&](char x, char y) {
            return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
        });
    return less || (!greater && a < b); // names equal but for case: byte order, for stability
}

bool MatchesPattern(const std::string& name, std::string_view pattern) {
    if (pattern.empty() || pattern == "*" || pattern == "*.*") {
        return true;
    }
    return ::fnmatch(std::string(pattern).c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

} // namespace

bool IsSystemTableName(std::string_view fileName) {
    return IsErrorTableName(fileName) || ParseWorkTableName(fileName).has_value();
}

std::uint16_t ListTables(const std::string& directory, std::string_view pattern, bool extensions,
                         bool systemTables, std::vector<std::string>& out) {
    out.clear();
    if (auto result = CheckDatabaseDirectory(directory); result != err::Ok) {
        return result;
    }
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    if (ec) {
        return Fail(err::IoError, "cannot list " + directory + ": " + ec.message());
    }
    std::vector<std::string> names;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) {
            return Fail(err::IoError, "cannot list " + directory + ": " + ec.message());
        }
        std::string name = it->path().filename().string();
        if (name.size() <= 3 || !EndsWithNoCase(name, ".DB") || IsRebuildFileName(name)) {
            continue;
        }
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) {
            continue;
        }
        if (!systemTables && IsSystemTableName(name)) {
            continue;
        }
        if (!MatchesPattern(name, pattern)) {
            continue;
        }
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), LessNoCase);
    if (!extensions) {
        for (auto& name : names) {
            name.resize(name.size() - 3);
        }
    }
    out = std::move(names);
    return err::Ok;
}

} // namespace engine
