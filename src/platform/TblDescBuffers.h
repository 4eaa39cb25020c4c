#pragma once

#include "platform/TUtil32.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// The seven counts of a table's descriptor as TUGetCRTblDescCount gives them back.
using TblDescCounts = tutil::DescCounts;

// Longest table path the descriptor's table-name member holds (plus its terminating zero).
inline constexpr std::size_t kMaxTablePathLength = tutil::kTableNameSize - 1;

// Raises EDBEngineError when `tablePath` does not fit the descriptor's table-name member.
void CheckTablePathFits(const std::string& tablePath);

// Clears `desc` and writes the table path, the table type "PARADOX" and the error table
// name, each zero-padded. A path or name that does not fit raises EDBEngineError and leaves
// the descriptor cleared.
void PrepareTblDesc(CRTblDesc& desc, const std::string& tablePath,
                    const std::string& errorTableName);

// The one owner of a descriptor's seven arrays: fresh blocks sized by the seven counts (128
// bytes per unit of optional data), no block for a count of 0, all released together when
// the owner goes.
class TblDescBuffers {
public:
    explicit TblDescBuffers(const TblDescCounts& counts);
    TblDescBuffers(const TblDescBuffers&) = delete;
    TblDescBuffers& operator=(const TblDescBuffers&) = delete;

    // Sets the six count members and the seven array members of `desc` (null where the count
    // is 0). The descriptor must not be used after the owner is gone.
    void AttachTo(CRTblDesc& desc) const;

    const TblDescCounts& Counts() const { return counts_; }

private:
    TblDescCounts counts_;
    std::unique_ptr<FLDDesc[]> fields_;
    std::unique_ptr<IDXDesc[]> indexes_;
    std::unique_ptr<SECDesc[]> security_;
    std::unique_ptr<VCHKDesc[]> validityChecks_;
    std::unique_ptr<RINTDesc[]> refIntegrity_;
    std::unique_ptr<FLDDesc[]> optionalParams_;
    std::unique_ptr<std::uint8_t[]> optionalData_;
};

} // namespace platform
