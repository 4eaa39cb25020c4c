#include "platform/StructureRebuild.h"

#include "engine/ErrorCodes.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"

#include <system_error>

namespace platform {

StructureRebuildResult RebuildWithStructureSource(const std::string& tablePath,
                                                  const std::string& templateTable,
                                                  bool inferFromData) {
    StructureRebuildResult result;
    try {
        const tutil::TableLocation table = tutil::LocateTable(tablePath);
        tutil::StructureChoice choice;
        choice.allowInference = inferFromData;
        if (!templateTable.empty()) {
            choice.templateTable = tutil::LocateTable(templateTable).db;
        }
        const auto schema = tutil::ReadTableStructure(table, choice);
        const tutil::RebuildNames names{table.stem + "-BACKUP.DB", table.stem + "-KEYVIOL.DB",
                                        table.stem + "-PROBLEM.DB", ""};
        const tutil::RebuildOutcome outcome = tutil::RebuildTable(table, schema, names, choice);
        result.rebuilt = true;
        result.source = outcome.structureSource;
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

} // namespace platform
