#pragma once

#include <cstddef>
#include <cstdint>

// Where each field of a .DB/.PX/.Xnn header sits, for the reader and the writer alike.
namespace paradox::header_at {

inline constexpr std::size_t kRecordSize = 0x00; // record length
inline constexpr std::size_t kHeaderSize = 0x02;
inline constexpr std::size_t kFileType = 0x04;
inline constexpr std::size_t kBlockSizeCode = 0x05; // in KiB
inline constexpr std::size_t kNumRecords = 0x06;
inline constexpr std::size_t kBlocksInUse = 0x0A;
inline constexpr std::size_t kFileBlocks = 0x0C;
inline constexpr std::size_t kFirstBlock = 0x0E;
inline constexpr std::size_t kLastBlock = 0x10;
inline constexpr std::size_t kWord12 = 0x12; // meaning unknown
inline constexpr std::size_t kModifiedFlags1 = 0x14;
inline constexpr std::size_t kIndexFieldNumber = 0x15;
inline constexpr std::size_t kIndexRoot = 0x1E;
inline constexpr std::size_t kIndexLevels = 0x20;
inline constexpr std::size_t kNumFields = 0x21;
inline constexpr std::size_t kPrimaryKeyFields = 0x23;
inline constexpr std::size_t kEncryption1 = 0x25;
inline constexpr std::size_t kSortOrder = 0x29;
inline constexpr std::size_t kModifiedFlags2 = 0x2A;
inline constexpr std::size_t kIndexSyncCount = 0x2C;
inline constexpr std::size_t kChangeCount1 = 0x2D;
inline constexpr std::size_t kChangeCount2 = 0x2E;
inline constexpr std::size_t kByte2F = 0x2F;
inline constexpr std::size_t kWriteProtected = 0x38;
inline constexpr std::size_t kFileVersion = 0x39;
inline constexpr std::size_t kMaxBlocks = 0x3A;
inline constexpr std::size_t kAuxPasswords = 0x3D;
inline constexpr std::size_t kByte3E = 0x3E;
inline constexpr std::size_t kByte3F = 0x3F;
inline constexpr std::size_t kAutoIncrement = 0x49;
inline constexpr std::size_t kFirstFreeBlock = 0x4D;
inline constexpr std::size_t kRealHeaderSize = 0x51;
inline constexpr std::size_t kByte55 = 0x55;
inline constexpr std::size_t kByte56 = 0x56;
inline constexpr std::size_t kFixedPartEnd =
    0x58; // where the field list starts before level 4, and where the level-4 extension starts
inline constexpr std::size_t kFileVersion2 = 0x58;
inline constexpr std::size_t kFileVersion2Copy = 0x5A;
inline constexpr std::size_t kEncryption2 = 0x5C;
inline constexpr std::size_t kFileUpdateTime = 0x60;
inline constexpr std::size_t kHiFieldId = 0x64;
inline constexpr std::size_t kFieldNumbersOffset = 0x66; // from kFixedPartEnd
inline constexpr std::size_t kIndexNameOffset = 0x68;    // from kFixedPartEnd
inline constexpr std::size_t kCodePage = 0x6A;
inline constexpr std::size_t kByte6C = 0x6C;
inline constexpr std::size_t kByte6D = 0x6D;
inline constexpr std::size_t kSortNameOffset = 0x6E; // from kFixedPartEnd
inline constexpr std::size_t kChangeCount4 = 0x70;
inline constexpr std::size_t kExtensionEnd = 0x78; // where the field list starts from level 4 on

// The value at kEncryption1 of a level-4+ data file that is not encrypted.
inline constexpr std::uint32_t kPlainMarker = 0xFF00FF00;

} // namespace paradox::header_at
