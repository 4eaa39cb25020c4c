#include "engine/ErrorCodes.h"

#include <cerrno>
#include <cstdio>

namespace engine {

std::string DescribeError(std::uint16_t code) {
    switch (code) {
    case err::Ok:
        return "Operation succeeded";
    case err::UnknownAlias:
        return "Unknown database alias";
    case err::EmptyAliasName:
        return "No database alias name given";
    case err::AliasExists:
        return "An alias of that name already exists";
    case err::ConfigUnreadable:
        return "The engine configuration file cannot be read";
    case err::SessionNotActive:
        return "The session is not active";
    case err::PathTooLong:
        return "Path is too long";
    case err::InvalidArgument:
        return "Invalid argument";
    case err::NotConnected:
        return "The database is not connected";
    case err::UnsupportedDriver:
        return "The alias's driver type is not supported by this engine";
    case err::DatabaseConnected:
        return "Cannot change the alias of a connected database";
    case err::NameTooLong:
        return "Name is too long";
    case err::PrivateDirInvalid:
        return "The session's private directory cannot be used";
    case err::DirectoryMissing:
        return "Directory does not exist";
    case err::NotADirectory:
        return "Path is not a directory";
    case err::NoPermission:
        return "Permission denied";
    case err::TableMissing:
        return "Table does not exist";
    case err::IoError:
        return "Input/output error";
    case err::OutOfMemory:
        return "Not enough memory";
    case err::DiskFull:
        return "No space left on device";
    case err::ReadOnlyFileSystem:
        return "Read-only file system";
    case err::TableInUse:
        return "Table is in use";
    case err::TableCorrupt:
        return "Table is damaged";
    case err::HeaderCorrupt:
        return "Table header is damaged";
    case err::IndexCorrupt:
        return "Index is damaged";
    case err::IndexOutOfDate:
        return "Index is out of date";
    case err::IndexMissing:
        return "Index file does not exist";
    case err::BlobFileMissing:
        return "Blob file does not exist";
    case err::BlobFileCorrupt:
        return "Blob file is damaged";
    case err::TableEncrypted:
        return "Table is encrypted";
    case err::UnknownIndex:
        return "Index does not exist for this table";
    case err::NotATable:
        return "File is not a Paradox table";
    case err::TableActive:
        return "Cannot change this while the table is open";
    case err::TableNotActive:
        return "The table is not open";
    case err::IndexOfAnotherTable:
        return "Index does not belong to this table";
    case err::TableTruncated:
        return "Table file is shorter than its header says";
    case err::TableNameMissing:
        return "No table name given";
    case err::RebuildInterrupted:
        return "A rebuild of the table was interrupted and must be completed";
    case err::TableChangedWhileRead:
        return "Table file changed size while it was read";
    case err::EndOfTable:
        return "At the end of the list";
    case err::InvalidHandle:
        return "Invalid handle";
    case err::InvalidCallback:
        return "Invalid callback registration";
    case err::UtilityInvalidSession:
        return "Invalid table utility session";
    case err::UtilityTooManySessions:
        return "Too many table utility sessions";
    case err::UtilityDescriptorMismatch:
        return "Table descriptor does not match the table";
    case err::UtilityRebuildFailed:
        return "Table rebuild failed";
    case err::UtilityCannotRebuild:
        return "Table cannot be rebuilt";
    case err::UtilityJournalRefused:
        return "A rebuild journal or staging folder beside the table is not this program's own: "
               "move it away, then verify or rebuild the table again";
    case err::UtilityWouldLoseData:
        return "The rebuild would lose data";
    case err::UtilityRebuiltWithLoss:
        return "The table was rebuilt with what could be read, and data was lost";
    default:
        break;
    }
    char text[48];
    std::snprintf(text, sizeof text, "Engine error 0x%04X", code);
    return text;
}

} // namespace engine

namespace engine {

std::uint16_t CodeForSystemError(int errorNumber) {
    switch (errorNumber) {
    case 0:
        return err::Ok;
    case ENOSPC:
    case EDQUOT:
        return err::DiskFull;
    case EROFS:
        return err::ReadOnlyFileSystem;
    case EACCES:
    case EPERM:
        return err::NoPermission;
    case ENOMEM:
        return err::OutOfMemory;
    case ENAMETOOLONG:
        return err::PathTooLong;
    default:
        return err::IoError;
    }
}

} // namespace engine
