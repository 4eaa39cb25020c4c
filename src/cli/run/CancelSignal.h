#pragma once

namespace cli {

// Ctrl-C as the run's Cancel button: while an object lives, SIGINT only raises a flag that the
// run reads between tables. A second SIGINT ends the program at once, as usual.
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

// Whether a SIGINT came since the flag was last cleared.
bool InterruptRequested();
void ClearInterruptRequest();
// Raises the flag as a SIGINT would.
void SetInterruptRequest();

} // namespace cli
