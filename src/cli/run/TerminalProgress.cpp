#include "cli/run/TerminalProgress.h"

#include <algorithm>
#include <csignal>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace cli {
namespace {

// Columns assumed when the terminal does not say.
constexpr std::size_t kDefaultWidth = 80;

const char* PhaseName(repair::TableStatusBar bar) {
    switch (bar) {
    case repair::TableStatusBar::Header:
        return "header";
    case repair::TableStatusBar::Indexes:
        return "indexes";
    case repair::TableStatusBar::Data:
        return "data";
    case repair::TableStatusBar::Rebuild:
        break;
    }
    return "rebuild";
}

// Read at every redraw, so that a resized window (SIGWINCH) is followed at once.
std::size_t TerminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return kDefaultWidth;
}

// Whether a progress line is on the terminal, for a message written from a signal handler.
volatile std::sig_atomic_t lineShown = 0;

constexpr char kClearLine[] = "\r\x1b[K";

} // namespace

bool TerminalProgress::StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void TerminalProgress::BeginTable(const std::string& tableName, std::size_t index,
                                  std::size_t count) {
    EndTable();
    lastStep_.clear();
    table_ = tableName;
    index_ = index;
    count_ = count;
}

void TerminalProgress::ClearShownLine() {
    if (lineShown != 0) {
        lineShown = 0;
        [[maybe_unused]] const ssize_t written =
            ::write(STDERR_FILENO, kClearLine, sizeof kClearLine - 1);
    }
}

void TerminalProgress::ClearLine() {
    if (style_ != ProgressStyle::Terminal) {
        return;
    }
    if (shown_) {
        err_ << kClearLine << std::flush;
    }
    shown_ = false;
    lineShown = 0;
    lastStep_.clear(); // the next report draws the line again, even an unchanged one
}

void TerminalProgress::EndTable() {
    ClearLine();
}

void TerminalProgress::SetBar(repair::TableStatusBar bar, unsigned position) {
    if (style_ == ProgressStyle::None) {
        return;
    }
    const unsigned percent = std::min(position, 100u);
    const std::string phase = PhaseName(bar);
    const std::string step = phase + ' ' + std::to_string(percent);
    if (step == lastStep_) {
        return;
    }
    lastStep_ = step;
    Draw(phase, percent);
}

void TerminalProgress::Draw(const std::string& phase, unsigned percent) {
    if (style_ == ProgressStyle::Json) {
        const nlohmann::ordered_json step = {{"table", table_},
                                             {"index", index_},
                                             {"count", count_},
                                             {"phase", phase},
                                             {"percent", percent}};
        err_ << step.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n'
             << std::flush;
        return;
    }
    std::string line = '[' + std::to_string(index_) + '/' + std::to_string(count_) + "] " + table_ +
                       "  " + command_ + ": " + phase + ' ' + std::to_string(percent) + '%';
    // One column is left free: a line that fills the last one wraps on some terminals.
    line.resize(std::min(line.size(), TerminalWidth() - 1));
    err_ << '\r' << line << "\x1b[K" << std::flush;
    shown_ = true;
    lineShown = 1;
}

} // namespace cli
