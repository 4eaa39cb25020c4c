#include "repair/BDEUtil.h"

#include "platform/DBErrors.h"
#include "platform/TUtil32.h"
#include "repair/TableStatusBars.h"

#include <optional>

namespace repair {
namespace {

constexpr std::size_t kPercentDoneOffset = 0;
constexpr std::size_t kPhaseByteOffset = 263; // most significant byte of PhaseCode at 260

std::optional<TableStatusBar> BarForPhase(std::uint8_t phase) {
    switch (phase) {
    case 0:
        return TableStatusBar::Header;
    case 1:
        return TableStatusBar::Indexes;
    case 2:
        return TableStatusBar::Data;
    case 8:
        return TableStatusBar::Rebuild;
    default:
        return std::nullopt;
    }
}

} // namespace

TBDEUtil::TBDEUtil() {
    platform::Check(platform::TUtilEntries().init(&sessionHandle_));
    sessionOpen_ = true;
}

TBDEUtil::~TBDEUtil() {
    if (sessionOpen_) {
        platform::TUtilEntries().exit(sessionHandle_);
    }
}

void TBDEUtil::ReopenSession() {
    if (sessionOpen_) {
        platform::Check(platform::TUtilEntries().exit(sessionHandle_));
        sessionOpen_ = false;
    }
    platform::Check(platform::TUtilEntries().init(&sessionHandle_));
    sessionOpen_ = true;
}

void TBDEUtil::RegisterProgressCallback() {
    platform::RegisterCallback(platform::cbGENPROGRESS, 0, platform::kProgressRecordSize,
                               ProgressInfo.data(), &TBDEUtil::ProgressCallback);
}

void TBDEUtil::UnregisterProgressCallback() {
    platform::RegisterCallback(platform::cbGENPROGRESS, 0, platform::kProgressRecordSize,
                               ProgressInfo.data(), nullptr);
}

std::uint32_t TBDEUtil::ProgressCallback(std::uint32_t callbackType, std::uint32_t /*clientData*/,
                                         void* record) {
    if (callbackType != platform::cbGENPROGRESS || record == nullptr) {
        return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    const auto bar = BarForPhase(bytes[kPhaseByteOffset]);
    TableStatusBars* bars = InstalledTableStatusBars();
    if (!bar || bars == nullptr) {
        return 0;
    }
    const unsigned percentDone =
        bytes[kPercentDoneOffset] | (unsigned{bytes[kPercentDoneOffset + 1]} << 8);
    bars->SetBar(*bar, percentDone);
    return 0;
}

std::string StripFileExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

} // namespace repair
