#pragma once

#include "engine/Config.h"
#include "engine/Limits.h"

#include <cstddef>
#include <cstdint>

namespace engine {

// The engine's 357-byte description of one database, every text zero-terminated.
struct DatabaseRecord {
    char name[kNameFieldSize]; // byte 0: alias name
    char text[kNameFieldSize]; // byte 32: description (the default driver)
    char path[kPathFieldSize]; // byte 64: directory
    char type[kNameFieldSize]; // byte 325: driver type, "STANDARD"
};
static_assert(sizeof(DatabaseRecord) == 357);
static_assert(offsetof(DatabaseRecord, name) == 0);
static_assert(offsetof(DatabaseRecord, path) == 64);
static_assert(offsetof(DatabaseRecord, type) == 325);

// Fills `record` from an alias; err::NameTooLong / err::PathTooLong when a text does not
// fit its field (nothing is cut short; the record is then all zero).
std::uint16_t FillDatabaseRecord(const AliasDef& alias, DatabaseRecord& record);

// Database description: the record of the alias `name` as the current session sees it.
std::uint16_t GetDatabaseDesc(const char* name, DatabaseRecord* record);

} // namespace engine
