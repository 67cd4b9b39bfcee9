#include "time/clock.h"

#include <cstdio>

namespace core {

namespace {

void append_two_digits(std::string& out, int value) {
    out += static_cast<char>('0' + (value / 10) % 10);
    out += static_cast<char>('0' + value % 10);
}

int days_in_month(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Howard Hinnant's days-from-civil algorithm (proleptic Gregorian calendar).
int64_t days_from_civil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

int64_t calendar_seconds(const LocalTime& t) {
    return days_from_civil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 +
           t.second;
}

LocalTime local_time_from_calendar_seconds(int64_t seconds) {
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    int64_t rest = seconds - days * 86400;
    LocalTime t;
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    t.weekday = static_cast<int>((days % 7 + 7 + 4) % 7);  // 1970-01-01 was a Thursday
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    return t;
}

LocalTime local_time_at(std::time_t when) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &when);
#else
    localtime_r(&when, &tm);
#endif
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.weekday = tm.tm_wday;
    return t;
}

int64_t utc_seconds_at(const LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;  // the zone's rules say whether summer time is on
    return static_cast<int64_t>(std::mktime(&tm));
}

std::string format_local_time(const LocalTime& t, const std::string& format) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        switch (format[++i]) {
            case 'd':
                append_two_digits(out, t.day);
                break;
            case 'm':
                append_two_digits(out, t.month);
                break;
            case 'H':
                append_two_digits(out, t.hour);
                break;
            case 'M':
                append_two_digits(out, t.minute);
                break;
            case 'S':
                append_two_digits(out, t.second);
                break;
            case 'y':
                append_two_digits(out, t.year % 100);
                break;
            case 'Y':
                out += std::to_string(t.year);
                break;
            case 'w':
                out += static_cast<char>('0' + t.weekday);
                break;
            case '%':
                out += '%';
                break;
            default:
                out += '%';
                out += format[i];
        }
    }
    return out;
}

bool parse_local_time(const std::string& text, LocalTime& out) {
    LocalTime t;
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':') {
        return false;
    }
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &t.year, &t.month, &t.day, &t.hour,
                    &t.minute, &t.second) != 6) {
        return false;
    }
    if (t.year < 1970 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > days_in_month(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59) {
        return false;
    }
    out = local_time_from_calendar_seconds(calendar_seconds(t));
    return true;
}

}  // namespace core
