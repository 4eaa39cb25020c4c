#include "repair/BDEUtil.h"

#include "RepairTestSupport.h"
#include "engine/Callbacks.h"
#include "engine/ErrorCodes.h"
#include "engine/FaultHook.h"
#include "platform/DBErrors.h"
#include "platform/ProgressCallback.h"

#include <gtest/gtest.h>

namespace {

using repair::StripFileExtension;
using repair::TableStatusBar;
using repair::TBDEUtil;
using Moves = std::vector<std::pair<TableStatusBar, unsigned>>;
namespace err = engine::err;

std::array<std::uint8_t, 268> Record(std::uint16_t percent, std::uint8_t phase,
                                     std::uint8_t lowerBytes) {
    std::array<std::uint8_t, 268> record{};
    record.fill(0xEE);
    record[0] = static_cast<std::uint8_t>(percent & 0xFF);
    record[1] = static_cast<std::uint8_t>(percent >> 8);
    record[260] = record[261] = record[262] = lowerBytes;
    record[263] = phase;
    return record;
}

TEST(ProgressCallback, PhaseByteAloneChoosesTheBarAndOtherReportsChangeNothing) {
    repairtest::RecordingBars bars;
    const repair::ScopedTableStatusBars installed(bars);
    auto report = [](std::uint32_t type, std::uint16_t percent, std::uint8_t phase,
                     std::uint8_t lower) {
        auto record = Record(percent, phase, lower);
        return TBDEUtil::ProgressCallback(type, 7, record.data());
    };
    EXPECT_EQ(report(23, 40, 1, 0xFF), 0u);
    EXPECT_EQ(report(23, 12, 0, 0xAB), 0u);
    EXPECT_EQ(report(23, 55, 2, 0x01), 0u);
    EXPECT_EQ(report(23, 0xFFFF, 8, 0x00), 0u);
    for (std::uint8_t phase : {3, 7, 9, 255}) {
        EXPECT_EQ(report(23, 30, phase, 0), 0u);
    }
    for (std::uint32_t type : {22u, 24u, 0u}) {
        EXPECT_EQ(report(type, 30, 1, 0), 0u);
    }
    EXPECT_EQ(bars.moves, (Moves{{TableStatusBar::Indexes, 40},
                                 {TableStatusBar::Header, 12},
                                 {TableStatusBar::Data, 55},
                                 {TableStatusBar::Rebuild, 65535}}));
}

TEST(ProgressCallback, RegisteredRecordCarriesTheEnginesReportsUntilUnregistered) {
    repairtest::RecordedLibrary library;
    repairtest::RecordingBars bars;
    const repair::ScopedTableStatusBars installed(bars);
    TBDEUtil util;
    util.RegisterProgressCallback();
    engine::ReportProgress(8, 77);
    EXPECT_EQ(util.ProgressInfo[0], 77);
    EXPECT_EQ(util.ProgressInfo[263], 8);
    util.UnregisterProgressCallback();
    EXPECT_FALSE(platform::ProgressCallbackRegistered());
    engine::ReportProgress(2, 10);
    EXPECT_EQ(bars.moves, (Moves{{TableStatusBar::Rebuild, 77}}));

    const engine::ScopedFault refused(engine::op::RegisterCallback, err::InvalidCallback, 1);
    EXPECT_THROW(util.RegisterProgressCallback(), platform::EDBEngineError);
    EXPECT_FALSE(platform::ProgressCallbackRegistered());
}

TEST(StripFileExtension, TextBeforeTheLastDot) {
    EXPECT_EQ(StripFileExtension("CUSTOMER.DB"), "CUSTOMER");
    EXPECT_EQ(StripFileExtension("A.B.DB"), "A.B");
    EXPECT_EQ(StripFileExtension("ORDERS"), "ORDERS");
    EXPECT_EQ(StripFileExtension(".DB"), "");
    EXPECT_EQ(StripFileExtension(""), "");
    EXPECT_EQ(StripFileExtension("DIR.X/TABLE"), "DIR");
}

TEST(TBDEUtilSession, FailedOpensLeaveNoSessionToCloseAndClosingNeverThrows) {
    repairtest::RecordedLibrary library;
    library.log.failInit = err::UtilityTooManySessions;
    EXPECT_THROW(TBDEUtil(), platform::EDBEngineError);
    EXPECT_EQ(library.log.exits, 0);

    library.log.failInit = 0;
    {
        TBDEUtil util;
        library.log.failInit = err::UtilityTooManySessions;
        EXPECT_THROW(util.ReopenSession(), platform::EDBEngineError);
        EXPECT_FALSE(util.SessionOpen());
        library.log.failInit = 0;
    }
    EXPECT_EQ(library.log.exits, 1) << "the stale handle must not be closed again";

    {
        TBDEUtil util;
        library.log.failExit = err::UtilityInvalidSession;
    } // the failing close is not raised from the destructor
    EXPECT_EQ(library.log.exits, 2);
}

} // namespace
