#include "cli/run/CancelSignal.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace cli {
namespace {

constexpr std::array<int, 3> kCancelSignals{SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t interrupted = 0;
std::array<struct sigaction, kCancelSignals.size()> previousActions{};
struct sigaction previousPipeAction {};

// The name the handler puts in its message: two slots, so that the one the handler may read is
// never the one being written; `tableSlot` says which is whole.
struct TableName {
    std::array<char, 256> text{};
    std::size_t size = 0;
};
std::array<TableName, 2> tableNames{};
volatile std::sig_atomic_t tableSlot = 0;

void WriteText(const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(STDERR_FILENO, text, size);
        if (written <= 0) {
            return;
        }
        text += written;
        size -= static_cast<std::size_t>(written);
    }
}

void WriteText(const char* text) {
    WriteText(text, std::strlen(text));
}

extern "C" void OnCancelSignal(int) {
    const int savedErrno = errno;
    interrupted = 1;
    // The next of these signals ends the program at once.
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    for (int signal : kCancelSignals) {
        sigaction(signal, &defaultAction, nullptr);
    }
    const TableName& table = tableNames[static_cast<std::size_t>(tableSlot)];
    WriteText("mendrix-cli: stopping");
    if (table.size > 0) {
        WriteText(" after ");
        WriteText(table.text.data(), table.size);
    }
    WriteText("; Ctrl-C again to stop now\n");
    errno = savedErrno;
}

} // namespace

CancelOnInterrupt::CancelOnInterrupt() {
    interrupted = 0;
    SetTableInHand("");
    struct sigaction action {};
    action.sa_handler = &OnCancelSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kCancelSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kCancelSignals.size(); ++i) {
        sigaction(kCancelSignals[i], &action, &previousActions[i]);
    }
}

CancelOnInterrupt::~CancelOnInterrupt() {
    for (std::size_t i = 0; i < kCancelSignals.size(); ++i) {
        sigaction(kCancelSignals[i], &previousActions[i], nullptr);
    }
}

void SetTableInHand(const std::string& name) {
    const std::sig_atomic_t next = tableSlot == 0 ? 1 : 0;
    TableName& slot = tableNames[static_cast<std::size_t>(next)];
    slot.size = std::min(name.size(), slot.text.size());
    std::copy_n(name.begin(), slot.size, slot.text.begin());
    tableSlot = next;
}

IgnoreBrokenPipe::IgnoreBrokenPipe() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, &previousPipeAction);
}

IgnoreBrokenPipe::~IgnoreBrokenPipe() {
    sigaction(SIGPIPE, &previousPipeAction, nullptr);
}

bool InterruptRequested() {
    return interrupted != 0;
}

void SetInterruptRequest() {
    interrupted = 1;
}

void ClearInterruptRequest() {
    interrupted = 0;
}

} // namespace cli
