#pragma once

#include "platform/TableResult.h"

#include <filesystem>
#include <memory> // the record is handed on shared: a findings window outlives the run's window
#include <vector>

namespace ui {

// One table of a run as the repair window showed it: what the run learned, the folder the
// table lay in, and which lines of the message pane its lines took.
struct RecordedTable {
    platform::TableResult result;
    std::filesystem::path folder;
    int firstLine = 0;
    int lineCount = 0;

    bool HoldsLine(int line) const { return line >= firstLine && line < firstLine + lineCount; }
};

// The tables of one run, in the order the run finished them.
using RunRecord = std::vector<RecordedTable>;

} // namespace ui
