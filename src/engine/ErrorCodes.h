#pragma once

#include <cstdint>
#include <string>

namespace engine {

// The engine's 16-bit result codes. 0 is success; the high byte groups the codes by kind.
namespace err {
inline constexpr std::uint16_t Ok = 0x0000;
// 0x21xx: configuration, aliases, sessions
inline constexpr std::uint16_t UnknownAlias = 0x2101;
inline constexpr std::uint16_t EmptyAliasName = 0x2102;
inline constexpr std::uint16_t AliasExists = 0x2103;
inline constexpr std::uint16_t ConfigUnreadable = 0x2104;
inline constexpr std::uint16_t SessionNotActive = 0x2105;
inline constexpr std::uint16_t PathTooLong = 0x2106;
inline constexpr std::uint16_t InvalidArgument = 0x2107;
inline constexpr std::uint16_t NotConnected = 0x2108;
inline constexpr std::uint16_t UnsupportedDriver = 0x2109;
inline constexpr std::uint16_t DatabaseConnected = 0x210A;
inline constexpr std::uint16_t NameTooLong = 0x210B;
inline constexpr std::uint16_t PrivateDirInvalid = 0x210C;
// 0x22xx: directories and files
inline constexpr std::uint16_t DirectoryMissing = 0x2201;
inline constexpr std::uint16_t NotADirectory = 0x2202;
inline constexpr std::uint16_t NoPermission = 0x2203;
inline constexpr std::uint16_t TableMissing = 0x2204;
inline constexpr std::uint16_t IoError = 0x2205;
inline constexpr std::uint16_t OutOfMemory = 0x2206;
inline constexpr std::uint16_t DiskFull = 0x2207;
inline constexpr std::uint16_t ReadOnlyFileSystem = 0x2208;
// 0x23xx: tables and indexes
inline constexpr std::uint16_t TableInUse = 0x2301;
inline constexpr std::uint16_t TableCorrupt = 0x2302;
inline constexpr std::uint16_t HeaderCorrupt = 0x2303;
inline constexpr std::uint16_t IndexCorrupt = 0x2304;
inline constexpr std::uint16_t IndexOutOfDate = 0x2305;
inline constexpr std::uint16_t IndexMissing = 0x2306;
inline constexpr std::uint16_t BlobFileMissing = 0x2307;
inline constexpr std::uint16_t BlobFileCorrupt = 0x2308;
inline constexpr std::uint16_t TableEncrypted = 0x2309;
inline constexpr std::uint16_t UnknownIndex = 0x230A;
inline constexpr std::uint16_t NotATable = 0x230B;
inline constexpr std::uint16_t TableActive = 0x230C;
inline constexpr std::uint16_t TableNotActive = 0x230D;
inline constexpr std::uint16_t IndexOfAnotherTable = 0x230E;
inline constexpr std::uint16_t TableTruncated = 0x230F;
inline constexpr std::uint16_t TableNameMissing = 0x2310;
inline constexpr std::uint16_t RebuildInterrupted = 0x2311;
inline constexpr std::uint16_t TableChangedWhileRead = 0x2312;
// 0x24xx: cursors and callbacks
inline constexpr std::uint16_t EndOfTable = 0x2401;
inline constexpr std::uint16_t InvalidHandle = 0x2402;
inline constexpr std::uint16_t InvalidCallback = 0x2403;
// 0x25xx: the table utility library
inline constexpr std::uint16_t UtilityInvalidSession = 0x2501;
inline constexpr std::uint16_t UtilityTooManySessions = 0x2502;
inline constexpr std::uint16_t UtilityDescriptorMismatch = 0x2503;
inline constexpr std::uint16_t UtilityRebuildFailed = 0x2504;
inline constexpr std::uint16_t UtilityCannotRebuild = 0x2505;
inline constexpr std::uint16_t UtilityJournalRefused = 0x2506;
// A rebuild refused because the new table would hold less than the old one; nothing changed.
inline constexpr std::uint16_t UtilityWouldLoseData = 0x2507;
// A rebuild that replaced the table under the policy that accepts loss, and lost something.
inline constexpr std::uint16_t UtilityRebuiltWithLoss = 0x2508;
} // namespace err

// The engine's own message for a code ("Table is in use by another program").
std::string DescribeError(std::uint16_t code);

// The engine code for a system error number: one code per cause the operator can act on
// (disk full, read-only file system, permission), IoError for the rest.
std::uint16_t CodeForSystemError(int errorNumber);

} // namespace engine
