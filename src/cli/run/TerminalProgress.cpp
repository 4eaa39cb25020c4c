#include "cli/run/TerminalProgress.h"

#include <algorithm>
#include <ostream>
#include <unistd.h>

namespace cli {
namespace {

constexpr unsigned kWidth = 30;

const char* PhaseName(repair::TableStatusBar bar) {
    switch (bar) {
    case repair::TableStatusBar::Header:
        return "Header: ";
    case repair::TableStatusBar::Indexes:
        return "Indexes:";
    case repair::TableStatusBar::Data:
        return "Data:   ";
    case repair::TableStatusBar::Rebuild:
        break;
    }
    return "Rebuild:";
}

} // namespace

bool TerminalProgress::StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void TerminalProgress::BeginTable(const std::string& tableName) {
    EndLine();
    table_ = tableName;
}

void TerminalProgress::EndLine() {
    if (enabled_ && shown_) {
        err_ << '\n' << std::flush;
    }
    shown_.reset();
}

void TerminalProgress::SetBar(repair::TableStatusBar bar, unsigned position) {
    if (!enabled_) {
        return;
    }
    if (shown_ && *shown_ != bar) {
        EndLine();
    }
    shown_ = bar;
    const unsigned percent = std::min(position, 100u);
    const unsigned filled = percent * kWidth / 100;
    err_ << '\r' << table_ << "  " << PhaseName(bar) << " [" << std::string(filled, '#')
         << std::string(kWidth - filled, '.') << "] "
         << (percent < 10    ? "  "
             : percent < 100 ? " "
                             : "")
         << percent << '%' << std::flush;
}

} // namespace cli
