#pragma once

// Every name of a file or folder the program makes beside a table or for itself, and the
// parsers that recognise them. Callers make and recognise these names only through here.

#include "engine/RebuildFiles.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

// ---- Work tables a rebuild leaves beside the table ----

enum class WorkTableKind { Backup, KeyViolations, Problems };

// "-BACKUP", "-KEYVIOL", "-PROBLEM".
std::string_view WorkTableSuffix(WorkTableKind kind);

// The stem a free name is numbered from: "ORDERS" gives "ORDERS-BACKUP".
std::string WorkTableStem(const std::string& tableStem, WorkTableKind kind);

// The name a rebuild asks for: "ORDERS" gives "ORDERS-BACKUP.DB".
std::string WorkTableFileName(const std::string& tableStem, WorkTableKind kind);

// A work stem with its number: 0 gives the stem itself, 2 gives "ORDERS-BACKUP2" (the next
// free name when the plain one is taken).
std::string NumberedStem(const std::string& stem, int number);

// The number of `stem` as NumberedStem made it from `base` (compared without regard to case),
// or nothing when it is not one of them. A number past 10^9 reads as 10^9.
std::optional<int> StemNumber(std::string_view stem, std::string_view base);

// A file name taken apart as a work table name ("orders-backup2.db": table stem "orders",
// Backup, number 2), compared without regard to case.
struct WorkTableName {
    std::string tableStem;
    WorkTableKind kind = WorkTableKind::Backup;
    int number = 0;
};
std::optional<WorkTableName> ParseWorkTableName(std::string_view fileName);

// ---- Error tables the utility writes into the private directory ----

inline constexpr const char* kVerifyErrorTable = "VERIFY.DB";
inline constexpr const char* kRebuildErrorTable = "Rebuild.DB";

// Whether the file name is one of the two error tables (without regard to case).
bool IsErrorTableName(std::string_view fileName);

// ---- The program's own places ----

// The private directory of a program (the window program's, the batch program's): the folder
// "priv" inside `parent`.
std::filesystem::path PrivateDirectoryIn(const std::filesystem::path& parent);

// A batch run's own folder inside the batch private directory: its mkdtemp pattern
// ("run-XXXXXX"), whether a name is one, and the file held locked inside it while it runs.
std::string RunFolderPattern();
bool IsRunFolderName(std::string_view name);
inline constexpr const char* kRunFolderLockName = ".held";

// The run log the window program and the batch program both add to, in the private directory
// beside the executable in `programDirectory`.
std::filesystem::path RunLogPath(const std::filesystem::path& programDirectory);

} // namespace engine
