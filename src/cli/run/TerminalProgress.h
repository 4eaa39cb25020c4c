#pragma once

#include "repair/TableStatusBars.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace cli {

// The table-status bars on a terminal: one line per table and phase, redrawn in place as the
// library reports progress ("ORDERS.DB  Data     [#######.............]  35%"). Draws only
// when `enabled` (standard error is a terminal); otherwise every call does nothing.
class TerminalProgress : public repair::TableStatusBars {
public:
    TerminalProgress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}

    // The table the next reports are about.
    void BeginTable(const std::string& tableName);
    // Ends the line being drawn, so that other output starts on a line of its own.
    void EndLine();

    void SetBar(repair::TableStatusBar bar, unsigned position) override;

    // Whether standard error is a terminal.
    static bool StderrIsTerminal();

private:
    std::ostream& err_;
    bool enabled_;
    std::string table_;
    std::optional<repair::TableStatusBar> shown_; // the bar of the open line
};

} // namespace cli
