#pragma once

#include "EngineTestSupport.h"
#include "platform/Database.h"
#include "platform/RecordingToolkit.h"
#include "platform/Session.h"
#include "platform/TUtil32.h"
#include "platform/Table.h"
#include "repair/TableStatusBars.h"
#include "support/TempDir.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace repairtest {

// Bars that remember every position they were given.
class RecordingBars : public repair::TableStatusBars {
public:
    void SetBar(repair::TableStatusBar bar, unsigned position) override {
        moves.emplace_back(bar, position);
    }
    std::vector<std::pair<repair::TableStatusBar, unsigned>> moves;
};

// The library's entry points with a log of every call and switches that make a call fail or
// answer differently; unless told otherwise each call goes to the real library.
struct LibraryLog {
    int inits = 0;
    int exits = 0;
    int verifies = 0;
    int fills = 0;
    int rebuilds = 0;
    std::vector<std::string> verifyPaths;
    std::vector<std::string> rebuildNames; // backup, key violations, problems of the last one
    CRTblDesc rebuildDesc{};               // the descriptor as the rebuild got it
    bool callbackDuringVerify = false;

    std::uint16_t failInit = 0;                 // result of every TUInit
    std::uint16_t failExit = 0;                 // result of every TUExit
    std::optional<std::uint32_t> verifyStatus;  // a fixed status instead of the library's
    std::optional<std::uint16_t> failCount;     // result of TUGetCRTblDescCount
    bool zeroCounts = false;                    // all seven counts 0, the fill and rebuild faked
    std::optional<std::uint16_t> failFill;      // result of TUFillCRTblDesc
    std::optional<std::uint16_t> rebuildResult; // a fixed result, the rebuild not run
};

// Installs the recording entry points for its lifetime; one at a time.
class RecordedLibrary {
public:
    RecordedLibrary();
    ~RecordedLibrary();
    RecordedLibrary(const RecordedLibrary&) = delete;
    RecordedLibrary& operator=(const RecordedLibrary&) = delete;

    LibraryLog log;

private:
    std::optional<platform::ScopedTUtilEntries> installed_;
};

// A data directory with an engine configuration naming it as alias "DATA", an active
// "TempSession" with its private directory, "TempDB" on DATA and an exclusive table object,
// the recording toolkit and bars installed: what the repair window holds.
class RepairFixture : public ::testing::Test {
protected:
    RepairFixture();
    ~RepairFixture() override;

    const std::filesystem::path& DataDir() const { return dataDir_; }
    std::filesystem::path Table(const std::string& name) const { return dataDir_ / name; }

    platform::RecordingToolkit toolkit;
    RecordingBars bars;
    std::unique_ptr<platform::TSession> session;
    std::unique_ptr<platform::TDatabase> database;
    std::unique_ptr<platform::TTable> table;

private:
    testsupport::TempDir root_;
    std::filesystem::path dataDir_;
    std::optional<enginetest::ScopedConfig> config_;
    std::optional<platform::ScopedToolkit> toolkitInstalled_;
    std::optional<repair::ScopedTableStatusBars> barsInstalled_;
};

} // namespace repairtest
