#include "platform/TUtil32.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/FileNames.h"
#include "paradox/NameCase.h"
#include "tutil/Descriptor.h"
#include "tutil/ErrorTable.h"
#include "tutil/Rebuild.h"
#include "tutil/Sessions.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <system_error>

namespace {

namespace err = engine::err;

bool IsParadoxDriver(const char* driverType) {
    return driverType == nullptr || *driverType == '\0' || paradox::SameName(driverType, "PARADOX");
}

// The text of a system error without the system's reason at its end (the engine's message
// for the code says it already).
std::string ContextOf(const std::system_error& e) {
    std::string text = e.what();
    const std::string reason = ": " + e.code().message();
    if (text.size() > reason.size() &&
        text.compare(text.size() - reason.size(), reason.size(), reason) == 0) {
        text.resize(text.size() - reason.size());
    }
    return text;
}

// Runs one library operation and turns its failures into the entry point's result. The cause
// (which file, what the system said) is recorded with the code so that the common result check
// raises it in full.
template <class F> std::uint16_t Guarded(std::uint16_t session, F&& body) {
    // The library's reason travels beside the code, so that the common result check (or a
    // caller judging the result itself) can tell the operator what went wrong.
    engine::ClearFailure();
    if (!tutil::Sessions().IsOpen(session)) {
        return err::UtilityInvalidSession;
    }
    engine::ClearFailure();
    try {
        return body();
    } catch (const tutil::UtilityError& e) {
        return engine::Fail(e.Code(), e.what());
    } catch (const std::bad_alloc&) {
        return engine::Fail(err::OutOfMemory, "the table utility ran out of memory");
    } catch (const std::system_error& e) {
        const std::error_category& category = e.code().category();
        const bool systemError =
            category == std::generic_category() || category == std::system_category();
        return engine::Fail(systemError ? engine::CodeForSystemError(e.code().value())
                                        : err::IoError,
                            ContextOf(e));
    } catch (const std::exception& e) {
        return engine::Fail(err::UtilityRebuildFailed, e.what());
    }
}

std::string TextOf(const char* text) {
    return text == nullptr ? std::string() : std::string(text);
}

std::string FieldText(const char* field, std::size_t size) {
    return std::string(field, strnlen(field, size));
}

} // namespace

std::uint16_t TUInit(std::uint16_t* session) {
    return tutil::Sessions().Open(session);
}

std::uint16_t TUExit(std::uint16_t session) {
    return tutil::Sessions().Close(session);
}

std::uint16_t TUVerifyTable(std::uint16_t session, const char* tablePath, const char* driverType,
                            const char* errTableName, const char* /*reserved*/, int /*flags*/,
                            std::uint32_t* status) {
    return Guarded(session, [&]() -> std::uint16_t {
        if (tablePath == nullptr || status == nullptr || !IsParadoxDriver(driverType)) {
            return err::InvalidArgument;
        }
        platform::VerifyResult result;
        const std::uint16_t code =
            platform::VerifyTableWithResult(session, tablePath, errTableName, result);
        if (code == err::Ok) {
            *status = result.status.value_or(0);
        }
        return code;
    });
}

std::uint16_t TUGetCRTblDescCount(std::uint16_t session, const char* tablePath,
                                  std::uint16_t* fieldCount, std::uint16_t* indexCount,
                                  std::uint16_t* securityCount, std::uint16_t* validityCount,
                                  std::uint16_t* refIntegrityCount,
                                  std::uint16_t* optionalParamCount,
                                  std::uint16_t* optionalDataUnits) {
    return Guarded(session, [&]() -> std::uint16_t {
        if (tablePath == nullptr || !fieldCount || !indexCount || !securityCount ||
            !validityCount || !refIntegrityCount || !optionalParamCount || !optionalDataUnits) {
            return err::InvalidArgument;
        }
        const auto schema = tutil::ReadTableStructure(tutil::LocateTable(tablePath));
        const tutil::DescCounts counts = tutil::CountsFor(schema);
        *fieldCount = counts.fields;
        *indexCount = counts.indexes;
        *securityCount = counts.security;
        *validityCount = counts.validityChecks;
        *refIntegrityCount = counts.refIntegrity;
        *optionalParamCount = counts.optionalParams;
        *optionalDataUnits = counts.optionalDataUnits;
        return err::Ok;
    });
}

std::uint16_t TUFillCRTblDesc(std::uint16_t session, CRTblDesc* desc, const char* tablePath,
                              const char* /*reserved*/) {
    return Guarded(session, [&]() -> std::uint16_t {
        if (desc == nullptr || tablePath == nullptr) {
            return err::InvalidArgument;
        }
        const tutil::TableLocation table = tutil::LocateTable(tablePath);
        const auto schema = tutil::ReadTableStructure(table);
        if (!tutil::FillDescriptor(schema, table.stem, *desc, nullptr)) {
            return err::UtilityDescriptorMismatch;
        }
        return err::Ok;
    });
}

std::uint16_t TURebuildTable(std::uint16_t session, const char* tablePath, const char* driverType,
                             const char* backupName, const char* keyViolName,
                             const char* problemName, CRTblDesc* desc) {
    return Guarded(session, [&]() -> std::uint16_t {
        if (tablePath == nullptr || desc == nullptr || !IsParadoxDriver(driverType)) {
            return err::InvalidArgument;
        }
        platform::RebuildResult result;
        return platform::RebuildTableWithResult(session, tablePath, backupName, keyViolName,
                                                problemName, desc, result);
    });
}

std::uint16_t TUSetRebuildPolicy(std::uint16_t session, int acceptLoss) {
    return tutil::Sessions().SetAcceptLoss(session, acceptLoss != 0);
}

namespace platform {

std::uint16_t VerifyTableWithResult(std::uint16_t session, const char* tablePath,
                                    const char* errTableName, VerifyResult& result) {
    result = VerifyResult{};
    result.ran = true;
    result.result = Guarded(session, [&]() -> std::uint16_t {
        if (tablePath == nullptr) {
            return err::InvalidArgument;
        }
        const tutil::TableLocation table = tutil::LocateTable(tablePath);
        const tutil::VerifyOutcome outcome = tutil::VerifyTable(table);
        result.errorTable = tutil::WriteVerifyErrorTable(table, TextOf(errTableName), outcome);
        result.status = static_cast<std::uint32_t>(outcome.status);
        result.findings = outcome.findings.All();
        return err::Ok;
    });
    return result.result;
}

std::uint16_t RebuildTableWithResult(std::uint16_t session, const char* tablePath,
                                     const char* backupName, const char* keyViolName,
                                     const char* problemName, CRTblDesc* desc,
                                     RebuildResult& result) {
    result = RebuildResult{};
    result.ran = true;
    result.result = Guarded(session, [&]() -> std::uint16_t {
        if (tablePath == nullptr || desc == nullptr) {
            return err::InvalidArgument;
        }
        const tutil::TableLocation table = tutil::LocateTable(tablePath);
        const auto schema = tutil::SchemaFromDescriptor(*desc, nullptr);
        if (!schema) {
            return err::UtilityDescriptorMismatch;
        }
        const auto nameOr = [&](const char* given, engine::WorkTableKind kind) {
            return given && *given ? std::string(given)
                                   : engine::WorkTableFileName(table.stem, kind);
        };
        tutil::RebuildNames names;
        names.backup = nameOr(backupName, engine::WorkTableKind::Backup);
        names.keyViolations = nameOr(keyViolName, engine::WorkTableKind::KeyViolations);
        names.problems = nameOr(problemName, engine::WorkTableKind::Problems);
        names.errorTable = FieldText(desc->errorTableName, sizeof desc->errorTableName);
        tutil::RebuildPolicy policy;
        policy.acceptLoss = tutil::Sessions().AcceptsLoss(session);
        const tutil::RebuildOutcome outcome =
            tutil::RebuildTable(table, *schema, names, tutil::StructureChoice{}, policy);
        result.replaced = true;
        result.recordsRead = outcome.recordsRead;
        result.recordsWritten = outcome.recordsWritten;
        result.keyViolations = outcome.keyViolations;
        result.problems = outcome.problems;
        result.recordsLost = outcome.recordsLost;
        result.backupTable = outcome.backupTable;
        result.keyViolationTable = outcome.keyViolationTable;
        result.problemTable = outcome.problemTable;
        result.structureSource = outcome.structureSource;
        result.recoveredKey = outcome.recoveredKey;
        if (const std::string incomplete = tutil::IncompleteRebuildText(outcome);
            !incomplete.empty()) {
            return engine::Fail(err::UtilityRebuiltWithLoss, incomplete);
        }
        return err::Ok;
    });
    return result.result;
}

namespace {
TUtilEntryPoints& CurrentEntries() {
    static TUtilEntryPoints entries;
    return entries;
}
} // namespace

const TUtilEntryPoints& TUtilEntries() {
    return CurrentEntries();
}

ScopedTUtilEntries::ScopedTUtilEntries(const TUtilEntryPoints& replacement)
    : previous_(CurrentEntries()) {
    CurrentEntries() = replacement;
}

ScopedTUtilEntries::~ScopedTUtilEntries() {
    CurrentEntries() = previous_;
}

} // namespace platform
