#include "repair/TimeStamp.h"

#include <cstdio>
#include <ctime>

namespace repair {
namespace {

constexpr char kDateSeparator = '/';
constexpr char kTimeSeparator = ':';

} // namespace

std::string FormatTimeStamp(const LocalDateTime& when) {
    const int hour12 = when.hour % 12 == 0 ? 12 : when.hour % 12;
    const char suffix = when.hour < 12 ? 'a' : 'p';
    char text[64];
    std::snprintf(text, sizeof text, "%d%c%d%c%04d %d%c%02d%c%02d%c", when.month, kDateSeparator,
                  when.day, kDateSeparator, when.year, hour12, kTimeSeparator, when.minute,
                  kTimeSeparator, when.second, suffix);
    return text;
}

LocalDateTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string TimeStampNow() {
    return FormatTimeStamp(LocalNow());
}

} // namespace repair
