#include "engine/DatabaseRecord.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/FaultHook.h"
#include "engine/Session.h"

#include <cstring>
#include <string>

namespace engine {
namespace {

bool CopyText(const std::string& text, char* field, std::size_t fieldSize) {
    if (text.size() >= fieldSize) {
        return false;
    }
    std::memcpy(field, text.data(), text.size());
    return true;
}

} // namespace

std::uint16_t FillDatabaseRecord(const AliasDef& alias, DatabaseRecord& record) {
    std::memset(&record, 0, sizeof record);
    if (!CopyText(alias.name, record.name, sizeof record.name) ||
        !CopyText(alias.type, record.type, sizeof record.type)) {
        std::memset(&record, 0, sizeof record);
        return Fail(err::NameTooLong, "alias " + alias.name);
    }
    if (!CopyText(alias.path, record.path, sizeof record.path)) {
        std::memset(&record, 0, sizeof record);
        return Fail(err::PathTooLong, "alias " + alias.name + ": " +
                                          std::to_string(alias.path.size()) +
                                          " characters, at most " + std::to_string(kMaxPathLength));
    }
    const std::string driver = alias.defaultDriver.substr(0, kMaxNameLength);
    CopyText(driver, record.text, sizeof record.text);
    return err::Ok;
}

std::uint16_t GetDatabaseDesc(const char* name, DatabaseRecord* record) {
    if (record == nullptr || name == nullptr) {
        return Fail(err::InvalidArgument, "database description without a name or record");
    }
    std::memset(record, 0, sizeof *record);
    if (auto fault = TakeFault(op::GetDatabaseDesc); fault != err::Ok) {
        return fault;
    }
    std::shared_ptr<Session> session;
    if (auto result = CurrentSession(session); result != err::Ok) {
        return result;
    }
    AliasDef alias;
    if (auto result = session->FindAlias(name, alias); result != err::Ok) {
        return result;
    }
    return FillDatabaseRecord(alias, *record);
}

} // namespace engine
