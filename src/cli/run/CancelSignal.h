#pragma once

#include <string>

namespace cli {

// Ctrl-C (and SIGTERM, SIGHUP) as the run's Cancel button: while an object lives, the first of
// them raises a flag that the run reads between tables and says at once on standard error
// which table the run stops after. A second one ends the program at once, as usual.
class CancelOnInterrupt {
public:
    CancelOnInterrupt();
    ~CancelOnInterrupt();
    CancelOnInterrupt(const CancelOnInterrupt&) = delete;
    CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;
};

// While an object lives, a reader that goes away (`mendrix-cli verify ... | head`) does not
// end the program in the middle of a table: the lines no longer reach standard output, the run
// goes on to its end and its lines still reach the run log.
class IgnoreBrokenPipe {
public:
    IgnoreBrokenPipe();
    ~IgnoreBrokenPipe();
    IgnoreBrokenPipe(const IgnoreBrokenPipe&) = delete;
    IgnoreBrokenPipe& operator=(const IgnoreBrokenPipe&) = delete;
};

// The table the run is working on, for the message of a cancel; empty between tables.
void SetTableInHand(const std::string& name);

// Whether a cancelling signal came since the flag was last cleared.
bool InterruptRequested();
void ClearInterruptRequest();
// Raises the flag as a SIGINT would.
void SetInterruptRequest();

} // namespace cli
