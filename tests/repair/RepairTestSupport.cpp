#include "RepairTestSupport.h"

#include "engine/Callbacks.h"

#include <cassert>

namespace repairtest {
namespace {

LibraryLog* current = nullptr;

std::uint16_t Init(std::uint16_t* session) {
    ++current->inits;
    return current->failInit != 0 ? current->failInit : ::TUInit(session);
}

std::uint16_t Exit(std::uint16_t session) {
    ++current->exits;
    return current->failExit != 0 ? current->failExit : ::TUExit(session);
}

std::uint16_t Verify(std::uint16_t session, const char* path, const char* errorTable,
                     platform::VerifyResult& verify) {
    ++current->verifies;
    current->verifyPaths.emplace_back(path);
    current->callbackDuringVerify = engine::ProgressCallbackRegistered();
    const auto result = platform::VerifyTableWithResult(session, path, errorTable, verify);
    if (current->verifyStatus) {
        verify.status = *current->verifyStatus;
        return 0;
    }
    return result;
}

std::uint16_t Count(std::uint16_t session, const char* path, std::uint16_t* c1, std::uint16_t* c2,
                    std::uint16_t* c3, std::uint16_t* c4, std::uint16_t* c5, std::uint16_t* c6,
                    std::uint16_t* c7) {
    if (current->failCount) {
        return *current->failCount;
    }
    if (current->zeroCounts) {
        *c1 = *c2 = *c3 = *c4 = *c5 = *c6 = *c7 = 0;
        return 0;
    }
    return ::TUGetCRTblDescCount(session, path, c1, c2, c3, c4, c5, c6, c7);
}

std::uint16_t Fill(std::uint16_t session, CRTblDesc* desc, const char* path, const char* reserved) {
    ++current->fills;
    if (current->failFill) {
        return *current->failFill;
    }
    return current->zeroCounts ? 0 : ::TUFillCRTblDesc(session, desc, path, reserved);
}

std::uint16_t Rebuild(std::uint16_t session, const char* path, const char* backup,
                      const char* keyViol, const char* problem, CRTblDesc* desc,
                      platform::RebuildResult& rebuild) {
    ++current->rebuilds;
    current->rebuildNames = {backup, keyViol, problem};
    current->rebuildDesc = *desc;
    if (current->rebuildResult) {
        return *current->rebuildResult;
    }
    return platform::RebuildTableWithResult(session, path, backup, keyViol, problem, desc, rebuild);
}

platform::TUtilEntryPoints RecordingEntries() {
    platform::TUtilEntryPoints entries;
    entries.init = &Init;
    entries.exit = &Exit;
    entries.verifyTableWithResult = &Verify;
    entries.getCRTblDescCount = &Count;
    entries.fillCRTblDesc = &Fill;
    entries.rebuildTableWithResult = &Rebuild;
    return entries;
}

} // namespace

RecordedLibrary::RecordedLibrary() {
    assert(current == nullptr);
    current = &log;
    installed_.emplace(RecordingEntries());
}

RecordedLibrary::~RecordedLibrary() {
    installed_.reset();
    current = nullptr;
}

RepairFixture::RepairFixture() : dataDir_(root_.path() / "data") {
    std::filesystem::create_directories(dataDir_);
    std::filesystem::create_directories(root_.path() / "priv");
    config_.emplace(root_.path() / "engine.ini", "[DATA]\nPATH=" + dataDir_.string() +
                                                     "\n[SLASHED]\nPATH=" + dataDir_.string() +
                                                     "/\n");
    toolkitInstalled_.emplace(toolkit);
    barsInstalled_.emplace(bars);
    session = std::make_unique<platform::TSession>("TempSession");
    session->SetPrivateDir((root_.path() / "priv").string());
    session->SetActive(true);
    database = std::make_unique<platform::TDatabase>(*session, "TempDB");
    database->SetAliasName("DATA");
    table = std::make_unique<platform::TTable>(*database);
    table->SetExclusive(true);
}

RepairFixture::~RepairFixture() {
    table.reset();
    database.reset();
    session.reset();
}

} // namespace repairtest
