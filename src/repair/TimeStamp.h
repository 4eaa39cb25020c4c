#pragma once

#include <string>

namespace repair {

// A local date and time as the clock gives it; month 1-12, hour 0-23.
struct LocalDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "m/d/yyyy h:nn:ssa/p": no leading zeros on month, day and hour, a 12-hour clock on which
// hour 0 reads 12, and "a" or "p" right after the seconds (12/6/2026 1:28:55p).
std::string FormatTimeStamp(const LocalDateTime& when);

LocalDateTime LocalNow();

// The time stamp of the current local time.
std::string TimeStampNow();

} // namespace repair
