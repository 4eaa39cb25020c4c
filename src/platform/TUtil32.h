#pragma once

// The table utility library's entry points. Every entry point returns a 16-bit engine code,
// 0 on success; a session is a 16-bit handle from TUInit.

#include "platform/TableResult.h"
#include "tutil/TblDesc.h"

#include <cstdint>

using CRTblDesc = tutil::CRTblDesc;
using FLDDesc = tutil::FLDDesc;
using IDXDesc = tutil::IDXDesc;
using SECDesc = tutil::SECDesc;
using VCHKDesc = tutil::VCHKDesc;
using RINTDesc = tutil::RINTDesc;

std::uint16_t TUInit(std::uint16_t* session);
std::uint16_t TUExit(std::uint16_t session);
// status: 0 no errors, 1 problems a rebuild repairs, 2 not completed, 3 rebuild by hand,
// 4 cannot be rebuilt. Findings go into errTableName (in the table's folder when it has no
// folder of its own).
std::uint16_t TUVerifyTable(std::uint16_t session, const char* tablePath, const char* driverType,
                            const char* errTableName, const char* reserved, int flags,
                            std::uint32_t* status);
std::uint16_t TUGetCRTblDescCount(std::uint16_t session, const char* tablePath,
                                  std::uint16_t* fieldCount, std::uint16_t* indexCount,
                                  std::uint16_t* securityCount, std::uint16_t* validityCount,
                                  std::uint16_t* refIntegrityCount,
                                  std::uint16_t* optionalParamCount,
                                  std::uint16_t* optionalDataUnits);
std::uint16_t TUFillCRTblDesc(std::uint16_t session, CRTblDesc* desc, const char* tablePath,
                              const char* reserved);
std::uint16_t TURebuildTable(std::uint16_t session, const char* tablePath, const char* driverType,
                             const char* backupName, const char* keyViolName,
                             const char* problemName, CRTblDesc* desc);

// The session's rebuild policy: acceptLoss non-zero lets TURebuildTable replace a table with what
// it can read when records, a blob file or an index would not come through; it then returns
// UtilityRebuiltWithLoss saying what was lost, the backup keeping it. 0 (every new session's
// setting): such a rebuild is refused with UtilityWouldLoseData and changes nothing.
std::uint16_t TUSetRebuildPolicy(std::uint16_t session, int acceptLoss);

namespace platform {

// The library's own entry points behind TUVerifyTable and TURebuildTable: the same work, with
// everything it learned handed back in `result` (also when the result code is a failure that
// left something behind, such as a rebuild that was accepted with losses).
std::uint16_t VerifyTableWithResult(std::uint16_t session, const char* tablePath,
                                    const char* errTableName, VerifyResult& result);
std::uint16_t RebuildTableWithResult(std::uint16_t session, const char* tablePath,
                                     const char* backupName, const char* keyViolName,
                                     const char* problemName, CRTblDesc* desc,
                                     RebuildResult& result);

// The entry points as the program reaches them. Callers go through TUtilEntries(), which
// holds the library's own functions unless a test has put others in their place.
struct TUtilEntryPoints {
    decltype(&::TUInit) init = &::TUInit;
    decltype(&::TUExit) exit = &::TUExit;
    decltype(&::TUGetCRTblDescCount) getCRTblDescCount = &::TUGetCRTblDescCount;
    decltype(&::TUFillCRTblDesc) fillCRTblDesc = &::TUFillCRTblDesc;
    decltype(&::TUSetRebuildPolicy) setRebuildPolicy = &::TUSetRebuildPolicy;
    decltype(&VerifyTableWithResult) verifyTableWithResult = &VerifyTableWithResult;
    decltype(&RebuildTableWithResult) rebuildTableWithResult = &RebuildTableWithResult;
};

const TUtilEntryPoints& TUtilEntries();

// Tests only: replaces the entry points for its lifetime, then puts the previous ones back.
class ScopedTUtilEntries {
public:
    explicit ScopedTUtilEntries(const TUtilEntryPoints& replacement);
    ~ScopedTUtilEntries();
    ScopedTUtilEntries(const ScopedTUtilEntries&) = delete;
    ScopedTUtilEntries& operator=(const ScopedTUtilEntries&) = delete;

private:
    TUtilEntryPoints previous_;
};

} // namespace platform
