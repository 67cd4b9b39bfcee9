#include "control/status_report.h"

#include <cstdio>
#include <ctime>

namespace station {

namespace {

// The PC's offset from UTC now, in seconds east.
long zone_offset() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    std::tm utc{};
#ifdef _WIN32
    localtime_s(&local, &now);
    gmtime_s(&utc, &now);
#else
    localtime_r(&now, &local);
    gmtime_r(&now, &utc);
#endif
    // UTC's fields read as local time lie behind now by the zone's offset.
    utc.tm_isdst = local.tm_isdst;
    return static_cast<long>(std::difftime(now, std::mktime(&utc)));
}

// "2026-12-09T10:00:06+03:00"; null for a moment that never came.
std::string iso_time(int64_t calendar, long offset) {
    if (calendar == 0) {
        return "null";
    }
    core::LocalTime t = core::local_time_from_calendar_seconds(calendar);
    char zone[48];
    long minutes = (offset < 0 ? -offset : offset) / 60;
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    return "\"" + core::format_local_time(t, "%Y-%m-%dT%H:%M:%S") + zone + "\"";
}

}  // namespace

std::string iso_local_time(int64_t calendar) {
    return iso_time(calendar, zone_offset());
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string status_json(const StatusHeader& header, const StatusReport& report, int64_t updated) {
    long offset = zone_offset();
    std::string json = "{\n";
    json += "  \"program\": " + json_string(header.program) + ",\n";
    json += "  \"version\": " + json_string(header.version) + ",\n";
    json += "  \"pid\": " + std::to_string(header.pid) + ",\n";
    json += "  \"started\": " + iso_time(header.started, offset) + ",\n";
    json += "  \"updated\": " + iso_time(updated, offset) + ",\n";
    json += "  \"state\": " + json_string(report.state) + ",\n";
    if (report.state == "paused") {
        json += "  \"until\": " + iso_time(report.until, offset) + ",\n";
    }
    if (report.state == "reconnecting") {
        json += "  \"since\": " + iso_time(report.since, offset) + ",\n";
    }
    json += "  \"reason\": " + json_string(report.reason) + ",\n";
    json += "  \"channels\": [";
    for (size_t i = 0; i < report.channels.size(); ++i) {
        const StatusReport::Channel& c = report.channels[i];
        json +=
            std::string(i == 0 ? "\n" : ",\n") + "    {\"channel\": " + std::to_string(c.channel) +
            ", \"mode\": " + json_string(c.mode) + ", \"line\": " + (c.line ? "true" : "false") +
            ", \"last_reply\": " + iso_time(c.last_reply, offset) + "}";
    }
    json += report.channels.empty() ? "],\n" : "\n  ],\n";
    json += "  \"counts\": {";
    for (size_t i = 0; i < report.counts.size(); ++i) {
        json += std::string(i == 0 ? "" : ", ") + json_string(report.counts[i].first) + ": " +
                report.counts[i].second;
    }
    return json + "}\n}\n";
}

}  // namespace station
