#include "cli/run/CancelSignal.h"

#include <csignal>

namespace cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;
struct sigaction previousAction {};
struct sigaction previousPipeAction {};

extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

} // namespace

CancelOnInterrupt::CancelOnInterrupt() {
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    // The handler is taken away once it ran: a second Ctrl-C stops the program.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, &previousAction);
}

CancelOnInterrupt::~CancelOnInterrupt() {
    sigaction(SIGINT, &previousAction, nullptr);
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
