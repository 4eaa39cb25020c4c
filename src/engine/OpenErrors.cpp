#include "engine/OpenErrors.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"

namespace engine {

std::uint16_t OpenError(paradox::FindingCode code, std::uint16_t fileDamage) {
    using K = paradox::OpenErrorKind;
    switch (paradox::FindingInfo(code).openError) {
    case K::AnotherTable:
        return err::IndexOfAnotherTable;
    case K::OutOfDate:
        return err::IndexOutOfDate;
    case K::Truncation:
        return fileDamage == err::TableCorrupt ? err::TableTruncated : fileDamage;
    case K::FileDamage:
        return fileDamage;
    }
    return fileDamage;
}

bool StopsOpen(const paradox::Finding& finding) {
    return finding.severity == paradox::Severity::Damage ||
           paradox::FindingInfo(finding.code).stopsOpen == paradox::OpenStop::Always;
}

const paradox::Finding* FirstStop(const paradox::FindingList& findings) {
    for (const auto& finding : findings.All()) {
        if (StopsOpen(finding)) {
            return &finding;
        }
    }
    return nullptr;
}

std::uint16_t FailOnFindings(const paradox::FindingList& findings, std::uint16_t fileDamage) {
    const paradox::Finding* stop = FirstStop(findings);
    if (stop == nullptr) {
        return err::Ok;
    }
    return Fail(OpenError(stop->code, fileDamage), stop->Describe());
}

} // namespace engine
