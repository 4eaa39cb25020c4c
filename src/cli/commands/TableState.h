#pragma once

#include <cstdint>

namespace cli {

// What a command that reads (dump, export, info, list) made of its table or database.
enum class TableState : std::uint8_t {
    Read,       // opened, and everything in it read and written out
    PartlyRead, // opened, but something in it could not be read: what could was written
    Unhandled,  // not opened, or the output could not be written
};

// What the reading met, as each command counts it.
struct ReadTally {
    bool opened = false;
    bool outputFailed = false;
    bool lossFound = false;             // a finding says records, blob data or damage were met
    std::uint64_t lostRecords = 0;      // records the blocks declare but the file lost
    std::uint64_t unreadableValues = 0; // values written as empty cells or null
    std::uint64_t replacedBytes = 0;    // text bytes that are no character of the code page
};

TableState StateOf(const ReadTally& tally);

// 0 for Read, 4 for PartlyRead (problems left), 8 for Unhandled (operational error).
int ExitCodeOf(TableState state);

} // namespace cli
