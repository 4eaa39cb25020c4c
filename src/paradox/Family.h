#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace paradox {

// The files that belong to one table, found beside its .DB by base name, whatever the case
// of the names. Paths are empty when a member does not exist.
struct TableFamily {
    std::filesystem::path db, px, mb;
    std::vector<std::filesystem::path> secondaries; // .Xnn .Ynn .XGn .YGn, sorted
    std::vector<std::filesystem::path> others;      // .VAL .TV .FAM ...
};

TableFamily FindFamily(const std::filesystem::path& dbPath);

// Every existing member: db, px, mb, secondaries, others (empty paths left out).
std::vector<std::filesystem::path> AllFamilyFiles(const TableFamily& family);

// Upper-case extension without the dot ("X02" for "orders.x02").
std::string UpperExtension(const std::filesystem::path& path);

// Whether an upper-case extension names a secondary index file (Xnn, Ynn, XGn, YGn).
bool IsSecondaryIndexExtension(const std::string& upperExtension);

// The tree file (.Ynn/.YGn) of the family that goes with a secondary index's X file
// (.Xnn/.XGn); empty when the family has none.
std::filesystem::path PairedTreeFile(const TableFamily& family, const std::filesystem::path& xFile);

} // namespace paradox
