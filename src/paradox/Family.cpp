#include "paradox/Family.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace paradox {
namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

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
    return Upper(ext);
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

TableFamily FindFamily(const std::filesystem::path& dbPath) {
    TableFamily family;
    family.db = dbPath;
    std::filesystem::path dir = dbPath.parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    const std::string stem = Upper(dbPath.stem().string());
    std::error_code ec;
    std::filesystem::directory_iterator it(dir, ec);
    if (ec) {
        return family;
    }
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        const auto& path = it->path();
        if (Upper(path.stem().string()) != stem || !it->is_regular_file(ec)) {
            continue;
        }
        const std::string ext = UpperExtension(path);
        if (ext == "DB") {
            continue; // the table itself (or a case variant of it)
        }
        if (ext == "PX") {
            family.px = dbPath.parent_path() / path.filename();
        } else if (ext == "MB") {
            family.mb = dbPath.parent_path() / path.filename();
        } else if (IsSecondaryIndexExtension(ext)) {
            family.secondaries.push_back(dbPath.parent_path() / path.filename());
        } else {
            family.others.push_back(dbPath.parent_path() / path.filename());
        }
    }
    auto byUpperName = [](const std::filesystem::path& a, const std::filesystem::path& b) {
        return Upper(a.filename().string()) < Upper(b.filename().string());
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
