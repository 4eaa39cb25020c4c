#include "engine/DatabaseList.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/FaultHook.h"
#include "engine/Session.h"

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace engine {
namespace {

struct DatabaseCursor {
    std::vector<AliasDef> aliases; // snapshot taken when the cursor was opened
    std::size_t next = 0;
};

std::mutex cursorMutex;
std::map<CursorHandle, DatabaseCursor> cursors;
CursorHandle lastHandle = 0;

} // namespace

std::uint16_t OpenDatabaseList(CursorHandle* cursor) {
    if (cursor == nullptr) {
        return Fail(err::InvalidArgument, "database list without a cursor variable");
    }
    *cursor = 0;
    std::shared_ptr<Session> session;
    if (auto result = CurrentSession(session); result != err::Ok) {
        return result;
    }
    return OpenDatabaseList(session, cursor);
}

std::uint16_t OpenDatabaseList(const std::shared_ptr<Session>& session, CursorHandle* cursor) {
    if (cursor == nullptr) {
        return Fail(err::InvalidArgument, "database list without a cursor variable");
    }
    *cursor = 0;
    if (auto fault = TakeFault(op::OpenDatabaseList); fault != err::Ok) {
        return fault;
    }
    if (session == nullptr) {
        return Fail(err::InvalidArgument, "database list without a session");
    }
    if (!session->Active()) {
        return Fail(err::SessionNotActive, session->Name());
    }
    std::lock_guard lock(cursorMutex);
    do {
        ++lastHandle;
    } while (lastHandle == 0 || cursors.contains(lastHandle));
    cursors[lastHandle] = {session->Aliases(), 0};
    *cursor = lastHandle;
    return err::Ok;
}

std::uint16_t GetNextRecord(CursorHandle cursor, void* record) {
    if (record == nullptr) {
        return Fail(err::InvalidArgument, "next record without a record buffer");
    }
    if (auto fault = TakeFault(op::GetNextRecord); fault != err::Ok) {
        return fault;
    }
    AliasDef alias;
    {
        std::lock_guard lock(cursorMutex);
        auto it = cursors.find(cursor);
        if (it == cursors.end()) {
            return Fail(err::InvalidHandle, "cursor " + std::to_string(cursor));
        }
        if (it->second.next >= it->second.aliases.size()) {
            return err::EndOfTable;
        }
        alias = it->second.aliases[it->second.next++];
    }
    DatabaseRecord filled;
    if (auto result = FillDatabaseRecord(alias, filled); result != err::Ok) {
        return result;
    }
    std::memcpy(record, &filled, sizeof filled);
    return err::Ok;
}

std::uint16_t CloseCursor(CursorHandle* cursor) {
    if (cursor == nullptr) {
        return Fail(err::InvalidArgument, "closing without a cursor variable");
    }
    if (auto fault = TakeFault(op::CloseCursor); fault != err::Ok) {
        return fault;
    }
    std::lock_guard lock(cursorMutex);
    if (cursors.erase(*cursor) == 0) {
        return Fail(err::InvalidHandle, "cursor " + std::to_string(*cursor));
    }
    *cursor = 0;
    return err::Ok;
}

} // namespace engine
