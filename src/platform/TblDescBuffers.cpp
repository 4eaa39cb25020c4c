#include "platform/TblDescBuffers.h"

#include "engine/ErrorCodes.h"
#include "platform/DBErrors.h"

#include <cstring>

namespace platform {
namespace {

template <class T> std::unique_ptr<T[]> BlockOf(std::size_t count) {
    if (count == 0) {
        return nullptr;
    }
    return std::make_unique_for_overwrite<T[]>(count);
}

void CopyField(const std::string& text, char* field, std::size_t fieldSize, const char* what) {
    if (text.size() >= fieldSize) {
        RaiseEngineError(engine::err::NameTooLong, std::string(what) + " \"" + text + "\" has " +
                                                       std::to_string(text.size()) +
                                                       " characters, at most " +
                                                       std::to_string(fieldSize - 1) + " fit");
    }
    std::memcpy(field, text.data(), text.size());
}

} // namespace

void CheckTablePathFits(const std::string& tablePath) {
    if (tablePath.size() > kMaxTablePathLength) {
        RaiseEngineError(engine::err::PathTooLong,
                         "table path of " + std::to_string(tablePath.size()) +
                             " characters, at most " + std::to_string(kMaxTablePathLength) + ": " +
                             tablePath);
    }
}

void PrepareTblDesc(CRTblDesc& desc, const std::string& tablePath,
                    const std::string& errorTableName) {
    std::memset(&desc, 0, sizeof desc);
    try {
        CheckTablePathFits(tablePath);
        CopyField(tablePath, desc.tableName, sizeof desc.tableName, "table path");
        CopyField("PARADOX", desc.tableType, sizeof desc.tableType, "table type");
        CopyField(errorTableName, desc.errorTableName, sizeof desc.errorTableName,
                  "error table name");
    } catch (...) {
        std::memset(&desc, 0, sizeof desc);
        throw;
    }
}

TblDescBuffers::TblDescBuffers(const TblDescCounts& counts)
    : counts_(counts), fields_(BlockOf<FLDDesc>(counts.fields)),
      indexes_(BlockOf<IDXDesc>(counts.indexes)), security_(BlockOf<SECDesc>(counts.security)),
      validityChecks_(BlockOf<VCHKDesc>(counts.validityChecks)),
      refIntegrity_(BlockOf<RINTDesc>(counts.refIntegrity)),
      optionalParams_(BlockOf<FLDDesc>(counts.optionalParams)),
      optionalData_(
          BlockOf<std::uint8_t>(std::size_t{counts.optionalDataUnits} * tutil::kOptionalDataUnit)) {
}

void TblDescBuffers::AttachTo(CRTblDesc& desc) const {
    desc.fieldCount = counts_.fields;
    desc.fields = fields_.get();
    desc.indexCount = counts_.indexes;
    desc.indexes = indexes_.get();
    desc.securityCount = counts_.security;
    desc.security = security_.get();
    desc.validityCount = counts_.validityChecks;
    desc.validityChecks = validityChecks_.get();
    desc.refIntegrityCount = counts_.refIntegrity;
    desc.refIntegrity = refIntegrity_.get();
    desc.optionalParamCount = counts_.optionalParams;
    desc.optionalParams = optionalParams_.get();
    desc.optionalData = optionalData_.get();
}

} // namespace platform
