#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "time/clock.h"

namespace station {

// What a program says of itself to a supervisor or a monitoring system: no subscriber's
// number, amount or code is ever in it.
struct StatusReport {
    std::string state = "idle";  // idle, running, paused, reconnecting or ended
    int64_t until = 0;           // paused: until when, calendar seconds of local time
    int64_t since = 0;           // reconnecting: since when
    std::string reason;          // the last pause's or failure's, in Russian
    struct Channel {
        int channel = 0;  // 1..8
        std::string mode;
        bool line = false;
        int64_t last_reply = 0;  // 0: never
    };
    std::vector<Channel> channels;
    // The program's counts by name, each value already JSON ("40", "null", "{...}").
    std::vector<std::pair<std::string, std::string>> counts;
};

// Who is reporting: the same for the whole life of the process.
struct StatusHeader {
    std::string program;  // "dialrun"
    std::string version;
    long pid = 0;
    int64_t started = 0;  // calendar seconds of local time
};

// The report as one JSON object, times in ISO 8601 with the PC's zone.
std::string status_json(const StatusHeader& header, const StatusReport& report, int64_t updated);

// A text as a JSON string, quotes included.
std::string json_string(const std::string& text);
// A moment as the status file gives it: "2026-12-09T10:00:06+03:00", or null for 0.
std::string iso_local_time(int64_t calendar);

}  // namespace station
