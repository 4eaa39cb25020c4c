#pragma once

#include "repair/TableStatusBars.h"

#include <cstddef>
#include <iosfwd>
#include <string>

namespace cli {

// Where the progress of a run goes.
enum class ProgressStyle {
    None,     // nowhere
    Terminal, // one line on the terminal, redrawn in place and cleared when its table ends
    Json,     // one JSON object a line per step, for other programs
};

// The progress of a run on standard error: "[3/7] ORDERS.DB  rebuild: data 42%", cut to the
// terminal's width, or {"table":"ORDERS.DB","index":3,"count":7,"phase":"data","percent":42}.
class TerminalProgress : public repair::TableStatusBars {
public:
    // `err` is standard error; `command` names the run in the line ("verify").
    TerminalProgress(std::ostream& err, ProgressStyle style, std::string command)
        : err_(err), style_(style), command_(std::move(command)) {}

    // The table the next reports are about: the `index`th (from 1) of `count`.
    void BeginTable(const std::string& tableName, std::size_t index, std::size_t count);
    // Takes the progress line off the screen, so that a message can be printed on a line of
    // its own; the next report draws it again.
    void ClearLine();
    // The table ended: no line of it stays on screen.
    void EndTable();

    void SetBar(repair::TableStatusBar bar, unsigned position) override;

    // Whether standard error is a terminal.
    static bool StderrIsTerminal();
    // Takes the progress line being drawn off the terminal, if there is one, so that a message
    // to standard error starts on a clean line; safe in a signal handler. The next report
    // draws the line again.
    static void ClearShownLine();

private:
    void Draw(const std::string& phase, unsigned percent);

    std::ostream& err_;
    ProgressStyle style_;
    std::string command_;
    std::string table_;
    std::size_t index_ = 0;
    std::size_t count_ = 0;
    std::string lastStep_; // the phase and percent last reported, to skip repeats
    bool shown_ = false;   // a progress line is on the terminal
};

} // namespace cli
