#pragma once

#include "platform/TableResult.h"
#include "repair/BDEUtil.h"

#include <string>

namespace repair {

// The verdicts a repair operation hands back.
namespace verdict {
inline constexpr const char* kNoErrors = "Verification Successful. Table has no errors.";
inline constexpr const char* kCompleted = "Verification Successful. Verification completed.";
inline constexpr const char* kNotCompleted =
    "Verification Successful. Verification could not be completed.";
inline constexpr const char* kRebuildManually =
    "Verification Successful. Table must be rebuilt manually.";
inline constexpr const char* kCannotRebuild = "Verification Successful. Table cannot be rebuilt.";
inline constexpr const char* kVerifyUnsuccessful = "Verification unsuccessful.";
inline constexpr const char* kRebuildSuccessful = "Rebuild was successful.";
inline constexpr const char* kRebuildUnsuccessful = "Rebuild was not successful.";
inline constexpr const char* kForeignFileSkipped = "Not a Paradox table, skipped.";
} // namespace verdict

inline constexpr const char* kErrorFillingTableStructure = "Error Filling table structure";

// The verdict of a verify status (0 to 4, anything else is unsuccessful).
std::string VerifyVerdict(std::uint32_t status);

// The table path: the database's directory, "/" and the table name, joined as they come.
std::string JoinTablePath(const std::string& directory, const std::string& tableName);

// The repair engine: verifies or rebuilds one table of a database at a time through the
// table utility library, with the hourglass showing, and hands back a one-line verdict. One
// lives for one run; every operation closes its session and opens a new one first.
class TqzDBRepair {
public:
    // Opens the table utility session; a failure raises EDBEngineError.
    TqzDBRepair() = default;
    TqzDBRepair(const TqzDBRepair&) = delete;
    TqzDBRepair& operator=(const TqzDBRepair&) = delete;

    // Verifies the table `tableName` of the database `aliasName`. A verify call that fails
    // gives "Verification unsuccessful." with the library's reason; nothing is raised for it.
    // Without `writeErrorTable` the library keeps its findings to itself: nothing is written.
    platform::VerifyResult Verify(const std::string& aliasName, const std::string& tableName,
                                  bool writeErrorTable = true);

    // Verifies and then rebuilds the table, whatever the verify status says. A failing
    // verify call raises EDBEngineError and nothing is rebuilt. A rebuild that fails gives
    // "Rebuild was not successful." with the library's reason.
    void Rebuild(const std::string& aliasName, const std::string& tableName,
                 platform::VerifyResult& verify, platform::RebuildResult& rebuild);

    // The same, giving only the verdict line.
    void VerifyTable(const std::string& aliasName, const std::string& tableName,
                     std::string& verdict);
    void RebuildTable(const std::string& aliasName, const std::string& tableName,
                      std::string& verdict);

    // The path of the table as the operations reach it.
    static std::string TablePath(const std::string& aliasName, const std::string& tableName);

    TBDEUtil& BDEUtil() { return bdeUtil_; }

    // The run's policy for rebuilds that cannot keep everything: off (the window's only
    // setting), such a rebuild is refused and its verdict's reason says how to accept the loss;
    // on, it keeps what can be read and its verdict says what was lost.
    void SetAcceptLoss(bool accept) { acceptLoss_ = accept; }

private:
    // Steps shared by both operations: the table path from the database description, a
    // fresh session, and `work` run with the progress callback registered.
    template <class Work>
    void RunOperation(const std::string& aliasName, const std::string& tableName, Work&& work);

    void RebuildWithCallback(const std::string& tablePath, const std::string& tableName,
                             platform::VerifyResult& verify, platform::RebuildResult& rebuild);

    TBDEUtil bdeUtil_;
    bool acceptLoss_ = false;
};

} // namespace repair
