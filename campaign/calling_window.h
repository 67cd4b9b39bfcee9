#pragma once

#include <array>
#include <set>
#include <string>
#include <utility>

#include "time/clock.h"

namespace campaign {

// The hours and days a campaign may call on, by the PC's local time: from start_hour to the
// "Стоп" hour, on the allowed ISO weekdays that are not holidays. No window (start_hour 0,
// every day, no holidays) is the stop hour alone, as the run always had it.
struct CallingWindow {
    bool enabled = false;  // call-start was given
    int start_hour = 0;    // 0..23
    int stop_hour = 22;    // 1..23, the "Стоп" spin
    std::array<bool, 8> days{false, true, true, true, true, true, true, true};  // [1..7]
    std::set<std::string> once;                                                 // "YYYY-MM-DD"
    std::set<std::pair<int, int>> every_year;                                   // (month, day)
};

// "1-5", "1,2,3,4,5,6", "1-3,6": ISO weekdays, 1 Monday .. 7 Sunday. Returns what is wrong.
std::string parse_call_days(const std::string& text, std::array<bool, 8>& days);

// A holidays file: a date a line, "YYYY-MM-DD" once or "DD.MM" every year; "#" comments,
// empty lines, a byte-order mark. A date no calendar has ("31.02") is refused. Returns "" or "FILE,
// строка N: what is wrong".
std::string parse_holidays(const std::string& text, const std::string& file, CallingWindow& w);

// Why a window can never open ("" when it can): the stop hour at or before the start hour,
// or no allowed day.
std::string empty_window_reason(const CallingWindow& w);

// Why a window's days or holidays would be ignored ("" when they act): they narrow a window,
// and there is none without a start hour.
std::string unused_window_setting(const CallingWindow& w, bool holidays_given);

// Whether calls may be placed at t.
bool window_open(const CallingWindow& w, const core::LocalTime& t);
// Whether a record may be handed out at t: open, and not in the window's last two minutes.
bool hand_out_allowed(const CallingWindow& w, const core::LocalTime& t);
// The next moment after t at which records may be handed out; t itself when they may now.
core::LocalTime next_opening(const CallingWindow& w, const core::LocalTime& t);

}  // namespace campaign
