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

// Whether a SIGINT came since the flag was last cleared.
bool InterruptRequested();
void ClearInterruptRequest();
// Raises the flag as a SIGINT would.
void SetInterruptRequest();

} // namespace cli
