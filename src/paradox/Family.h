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
    // Files whose names fit the family only without regard to case and that may as well be
    // another table's (that table's .DB is there, or a member of the exact name is): they
    // are left out and left alone.
    std::vector<std::filesystem::path> ambiguous;
};

// The split of a folder's file names (regular files) for the table whose .DB has stem
// `stem` (stored case). A name is stem + "." + extension with the stem compared without
// regard to case; another table's .DB (a case variant of the stem) is never a member; a name
// whose stem differs in case is a member only when no table of that exact stem exists and
// no member of the exact stem has its extension (else it is ambiguous); of several case
// variants with one extension the first in byte order is the member.
struct FamilyNames {
    std::vector<std::string> members; // the table's own .DB included, when listed
    std::vector<std::string> ambiguous;
};
FamilyNames SplitFamilyNames(std::vector<std::string> folderNames, const std::string& stem);

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
