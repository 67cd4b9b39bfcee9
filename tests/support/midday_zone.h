#pragma once

// A time zone for a program on the real clock whose day must not end while it runs (Dialrun's
// run ends at the stop hour, 22 by default): whatever the machine's clock and zone, the local
// time in it is now between 12:00 and 13:00.

#include <cstdio>
#include <ctime>
#include <string>

// A POSIX TZ value ("MID+5": five hours west of Greenwich, local = UTC - 5 h).
inline std::string midday_zone() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char zone[16];
    std::snprintf(zone, sizeof zone, "MID%+d", utc.tm_hour - 12);
    return zone;
}
