#include "tutil/BlobFileContents.h"

#include "paradox/BlobFile.h"
#include "paradox/Finding.h"

#include <system_error>

namespace tutil {

bool BlobFileHoldsBlobs(const std::filesystem::path& mb, std::uint32_t keyValue) {
    paradox::FindingList findings;
    const auto blobs = paradox::BlobFile::Open(mb, findings, keyValue);
    if (!blobs) {
        std::error_code ignored;
        return std::filesystem::exists(mb, ignored);
    }
    return blobs->StoredBlobCount() != 0 || findings.HasDamage();
}

} // namespace tutil
