#include "paradox/Family.h"

#include "paradox/DirectoryListing.h"
#include "paradox/NameCase.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace paradox {
namespace {

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}
bool IsAlnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::string UpperExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    if (!ext.empty() && ext.front() == '.') {
        ext.erase(0, 1);
    }
    return UpperAscii(ext);
}

bool IsSecondaryIndexExtension(const std::string& ext) {
    if (ext.size() != 3 || (ext[0] != 'X' && ext[0] != 'Y')) {
        return false;
    }
    if (ext[1] == 'G') {
        return IsAlnum(ext[2]);
    }
    return IsHexDigit(ext[1]) && IsHexDigit(ext[2]);
}

std::filesystem::path PairedTreeFile(const TableFamily& family,
                                     const std::filesystem::path& xFile) {
    const std::string ext = UpperExtension(xFile);
    if (ext.empty() || ext[0] != 'X') {
        return {};
    }
    const std::string wanted = "Y" + ext.substr(1);
    for (const auto& candidate : family.secondaries) {
        if (UpperExtension(candidate) == wanted) {
            return candidate;
        }
    }
    return {};
}

FamilyNames SplitFamilyNames(std::vector<std::string> folderNames, const std::string& stem) {
    std::sort(folderNames.begin(), folderNames.end());
    const std::string upperStem = UpperAscii(stem);
    auto stemOf = [&](const std::string& name) { return name.substr(0, stem.size()); };
    auto extensionOf = [&](const std::string& name) -> std::string {
        if (name.size() <= stem.size() + 1 || name[stem.size()] != '.' ||
            UpperAscii(name.substr(0, stem.size())) != upperStem) {
            return {};
        }
        std::string extension = UpperAscii(name.substr(stem.size() + 1));
        return extension.find('.') == std::string::npos ? extension : std::string();
    };
    auto tableExists = [&](const std::string& exactStem) {
        return std::any_of(folderNames.begin(), folderNames.end(), [&](const std::string& n) {
            return stemOf(n) == exactStem && extensionOf(n) == "DB";
        });
    };
    FamilyNames split;
    std::vector<std::string> taken; // upper extensions with a member
    for (const bool exactPass : {true, false}) {
        for (const std::string& name : folderNames) {
            const std::string extension = extensionOf(name);
            if (extension.empty() || (stemOf(name) == stem) != exactPass) {
                continue;
            }
            if (!exactPass) {
                if (extension == "DB") {
                    continue; // another table
                }
                if (tableExists(stemOf(name)) ||
                    std::find(taken.begin(), taken.end(), extension) != taken.end()) {
                    split.ambiguous.push_back(name);
                    continue;
                }
            }
            taken.push_back(extension);
            split.members.push_back(name);
        }
    }
    return split;
}

TableFamily FindFamily(const std::filesystem::path& dbPath) {
    TableFamily family;
    family.db = dbPath;
    // Only names with the table's stem (in any case) can be members or ambiguous.
    std::vector<std::string> names =
        ListDirectory(dbPath.parent_path())->RegularNamesWithStem(dbPath.stem().string());
    const FamilyNames split = SplitFamilyNames(std::move(names), dbPath.stem().string());
    for (const std::string& name : split.ambiguous) {
        family.ambiguous.push_back(dbPath.parent_path() / name);
    }
    for (const std::string& name : split.members) {
        const std::filesystem::path path = dbPath.parent_path() / name;
        const std::string ext = UpperExtension(path);
        if (ext == "DB") {
            continue; // the table itself
        }
        if (ext == "PX") {
            family.px = path;
        } else if (ext == "MB") {
            family.mb = path;
        } else if (IsSecondaryIndexExtension(ext)) {
            family.secondaries.push_back(path);
        } else {
            family.others.push_back(path);
        }
    }
    auto byUpperName = [](const std::filesystem::path& a, const std::filesystem::path& b) {
        return UpperAscii(a.filename().string()) < UpperAscii(b.filename().string());
    };
    std::sort(family.secondaries.begin(), family.secondaries.end(), byUpperName);
    std::sort(family.others.begin(), family.others.end(), byUpperName);
    return family;
}

std::vector<std::filesystem::path> AllFamilyFiles(const TableFamily& family) {
    std::vector<std::filesystem::path> files;
    for (const auto* p : {&family.db, &family.px, &family.mb}) {
        if (!p->empty()) {
            files.push_back(*p);
        }
    }
    files.insert(files.end(), family.secondaries.begin(), family.secondaries.end());
    files.insert(files.end(), family.others.begin(), family.others.end());
    return files;
}

} // namespace paradox
