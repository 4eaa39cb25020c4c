#include "platform/DatabaseList.h"

#include "engine/DatabaseList.h"
#include "engine/DatabaseRecord.h"
#include "platform/DBErrors.h"
#include "platform/Session.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace platform {
namespace {

constexpr std::size_t kRecordSize = sizeof(engine::DatabaseRecord);
constexpr std::size_t kNameOffset = offsetof(engine::DatabaseRecord, name);
constexpr std::size_t kPathOffset = offsetof(engine::DatabaseRecord, path);
constexpr std::size_t kTypeOffset = offsetof(engine::DatabaseRecord, type);

// The text of a field: up to its first zero, or the whole field when it has none.
std::string FieldText(const std::array<char, kRecordSize>& record, std::size_t offset,
                      std::size_t size) {
    const char* field = record.data() + offset;
    const void* zero = std::memchr(field, '\0', size);
    const std::size_t length =
        zero == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(zero) - field);
    return std::string(field, length);
}

} // namespace

TDatabaseList::TDatabaseList(TSession& session) {
    engine::CursorHandle cursor = 0;
    Check(engine::OpenDatabaseList(session.Engine(), &cursor));
    cursor_ = cursor;
}

TDatabaseList::~TDatabaseList() {
    if (cursor_ != 0) {
        engine::CursorHandle cursor = cursor_;
        (void)engine::CloseCursor(&cursor);
    }
}

bool TDatabaseList::Next(TDatabaseListEntry& entry) {
    if (cursor_ == 0) {
        return false;
    }
    std::array<char, kRecordSize> record{};
    if (engine::GetNextRecord(cursor_, record.data()) != 0) {
        return false;
    }
    entry.name = FieldText(record, kNameOffset, sizeof(engine::DatabaseRecord::name));
    entry.path = FieldText(record, kPathOffset, sizeof(engine::DatabaseRecord::path));
    entry.type = FieldText(record, kTypeOffset, sizeof(engine::DatabaseRecord::type));
    return true;
}

void TDatabaseList::Close() {
    if (cursor_ == 0) {
        return;
    }
    engine::CursorHandle cursor = cursor_;
    cursor_ = 0;
    Check(engine::CloseCursor(&cursor));
}

} // namespace platform
