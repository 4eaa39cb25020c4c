#include "platform/StructureRebuild.h"

#include "engine/ErrorCodes.h"
#include "engine/FileNames.h"
#include "tutil/InUse.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"

#include <system_error>

namespace platform {

StructureRebuildResult RebuildWithStructureSource(const std::string& tablePath,
                                                  const std::string& templateTable,
                                                  bool inferFromData, bool acceptLoss) {
    StructureRebuildResult result;
    try {
        const tutil::TableLocation table = tutil::LocateTable(tablePath);
        tutil::StructureChoice choice;
        choice.allowInference = inferFromData;
        if (!templateTable.empty()) {
            choice.templateTable = tutil::LocateTable(templateTable).db;
        }
        const auto schema = tutil::ReadTableStructure(table, choice);
        const tutil::RebuildNames names{
            engine::WorkTableFileName(table.stem, engine::WorkTableKind::Backup),
            engine::WorkTableFileName(table.stem, engine::WorkTableKind::KeyViolations),
            engine::WorkTableFileName(table.stem, engine::WorkTableKind::Problems), ""};
        tutil::RebuildPolicy policy;
        policy.acceptLoss = acceptLoss;
        const tutil::RebuildOutcome outcome =
            tutil::RebuildTable(table, schema, names, choice, policy);
        result.source = outcome.structureSource;
        result.message = tutil::IncompleteRebuildText(outcome);
        result.rebuilt = result.message.empty();
        result.replaced = true;
        if (!result.rebuilt) {
            result.result = engine::err::UtilityRebuiltWithLoss;
            result.message = engine::DescribeError(result.result) + ": " + result.message;
        }
        for (const auto& finding : outcome.findings.All()) {
            result.findingLines.push_back(finding.Describe());
        }
    } catch (const tutil::UtilityError& e) {
        result.result = e.Code();
        result.message = e.what();
    } catch (const std::system_error& e) {
        result.result = engine::err::IoError;
        result.message = e.what();
    }
    return result;
}

std::vector<std::string> StructureSourceLines(const std::string& tablePath) {
    std::vector<std::string> lines;
    try {
        const tutil::TableLocation table = tutil::LocateTable(tablePath);
        const auto lock = tutil::LockTable(table, engine::TableLock::Mode::Shared);
        if (!tutil::StructureUnknown(table)) {
            return lines;
        }
        paradox::FindingList findings;
        tutil::ReportStructureSources(table, findings);
        for (const auto& finding : findings.All()) {
            lines.push_back(finding.Describe());
        }
    } catch (const tutil::UtilityError&) {
        lines.clear(); // the verdict already says what is wrong with the table
    } catch (const std::system_error&) {
        lines.clear();
    }
    return lines;
}

} // namespace platform
