#include "campaign/calling_window.h"

#include <cstdio>
#include <sstream>

#include "base/plain_text.h"

namespace campaign {

namespace {

constexpr int LAST_MINUTES = 2;  // no record is handed out this close to the close

// ISO weekday 1..7 of a local time (its weekday is 0 Sunday .. 6 Saturday).
int iso_weekday(const core::LocalTime& t) {
    return t.weekday == 0 ? 7 : t.weekday;
}

bool day_allowed(const CallingWindow& w, const core::LocalTime& t) {
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", t.year, t.month, t.day);
    return w.days[iso_weekday(t)] && w.once.count(date) == 0 &&
           w.every_year.count({t.month, t.day}) == 0;
}

// The days a date "DD.MM" may have in some year: 29 February is a holiday in leap years.
int longest_month(int month) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return days[month - 1];
}

bool parse_day(const std::string& text, int& day) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '7') {
        return false;
    }
    day = text[0] - '0';
    return true;
}

}  // namespace

std::string parse_call_days(const std::string& text, std::array<bool, 8>& days) {
    std::array<bool, 8> chosen{};
    std::istringstream parts(text);
    std::string part;
    std::string wrong =
        "call-days: нужны дни недели 1..7 (1 - понедельник), например 1-5 или "
        "1,2,3,4,5,6, а не '" +
        text + "'";
    bool any = false;
    while (std::getline(parts, part, ',')) {
        part = core::trimmed(part);
        size_t dash = part.find('-');
        int from = 0;
        int to = 0;
        if (dash == std::string::npos ? !parse_day(part, from)
                                      : !parse_day(part.substr(0, dash), from) ||
                                            !parse_day(part.substr(dash + 1), to) || to < from) {
            return wrong;
        }
        for (int d = from; d <= (dash == std::string::npos ? from : to); ++d) {
            chosen[d] = true;
            any = true;
        }
    }
    if (!any) {
        return wrong;
    }
    days = chosen;
    return {};
}

std::string parse_holidays(const std::string& text, const std::string& file, CallingWindow& w) {
    // An editor on Windows may start the file with the UTF-8 byte-order mark.
    std::istringstream lines(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        line = core::trimmed(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        core::LocalTime t;
        int day = 0;
        int month = 0;
        char dot = 0;
        char rest = 0;
        if (line.size() == 10 && core::parse_local_time(line + "T00:00:00", t)) {
            w.once.insert(line);
        } else if (std::sscanf(line.c_str(), "%2d%c%2d%c", &day, &dot, &month, &rest) == 3 &&
                   dot == '.' && month >= 1 && month <= 12 && day >= 1 &&
                   day <= longest_month(month)) {
            w.every_year.insert({month, day});
        } else {
            return file + ", строка " + std::to_string(number) + ": нужна дата ГГГГ-ММ-ДД или " +
                   "ДД.ММ, а не '" + line + "'";
        }
    }
    return {};
}

std::string empty_window_reason(const CallingWindow& w) {
    if (!w.enabled) {
        return {};
    }
    if (w.stop_hour <= w.start_hour) {
        return "Пустое окно прозвонки: час \"Стоп\" " + std::to_string(w.stop_hour) +
               " не позже начала " + std::to_string(w.start_hour) + " (call-start)";
    }
    for (int d = 1; d <= 7; ++d) {
        if (w.days[d]) {
            return {};
        }
    }
    return "Пустое окно прозвонки: ни одного дня (call-days)";
}

std::string unused_window_setting(const CallingWindow& w, bool holidays_given) {
    if (w.enabled) {
        return {};
    }
    bool every_day = true;
    for (int d = 1; d <= 7; ++d) {
        every_day = every_day && w.days[d];
    }
    const std::string need = ": нужен call-start, час начала окна прозвонки";
    if (!every_day && holidays_given) {
        return "call-days и holidays без call-start не действуют" + need;
    }
    if (!every_day || holidays_given) {
        return std::string(every_day ? "holidays" : "call-days") + " без call-start не действует" +
               need;
    }
    return {};
}

bool window_open(const CallingWindow& w, const core::LocalTime& t) {
    return day_allowed(w, t) && t.hour >= w.start_hour && t.hour < w.stop_hour;
}

bool hand_out_allowed(const CallingWindow& w, const core::LocalTime& t) {
    return window_open(w, t) && t.hour * 60 + t.minute < w.stop_hour * 60 - LAST_MINUTES;
}

core::LocalTime next_opening(const CallingWindow& w, const core::LocalTime& t) {
    if (hand_out_allowed(w, t)) {
        return t;
    }
    int64_t day_start = core::calendar_seconds(t) - (t.hour * 3600 + t.minute * 60 + t.second);
    // Today's opening if it is still ahead, else the first allowed day's; a year and a week
    // holds every weekday of every date.
    for (int ahead = 0; ahead <= 372; ++ahead) {
        core::LocalTime opening =
            core::local_time_from_calendar_seconds(day_start + ahead * 86400 + w.start_hour * 3600);
        if (day_allowed(w, opening) &&
            core::calendar_seconds(opening) > core::calendar_seconds(t)) {
            return opening;
        }
    }
    return t;  // never: an empty window is refused at start
}

}  // namespace campaign
