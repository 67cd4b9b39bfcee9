#include "campaign/logged_verdicts.h"

#include <algorithm>
#include <map>

#include "campaign/result_log.h"
#include "campaign/subscriber_list.h"

namespace campaign {

namespace {

constexpr int64_t DAY = 24 * 3600;

// The last whole line of a log that is a verdict of its kind; none when there is no such line.
bool last_verdict(const std::string& log, bool notified, campaign::ResultLine& line) {
    if (log.size() < 70) {
        return false;
    }
    size_t whole = log.size() - log.size() % 70;  // a torn tail is no line
    return campaign::parse_result_line(log.substr(whole - 70, 70), line).empty() &&
           (line.mark == ' ') == notified;
}

// When a line was written, in the year that puts it at or after from; whether that is no later
// than to.
bool written_between(const campaign::ResultLine& line, int64_t from, int64_t to) {
    int year = core::local_time_from_calendar_seconds(from).year;
    for (int y = year; y <= year + 1; ++y) {
        core::LocalTime t;
        t.year = y;
        t.month = line.month;
        t.day = line.day;
        t.hour = line.hour;
        t.minute = line.minute;
        t.second = line.second;
        int64_t at = core::calendar_seconds(t);
        if (at >= from) {
            return at <= to;
        }
    }
    return false;
}

}  // namespace

std::vector<LoggedVerdict> unmarked_verdicts(const std::string& list_bytes,
                                             const Attempts& attempts,
                                             const std::string& notified_log,
                                             const std::string& not_notified_log,
                                             const core::LocalTime& now, int64_t now_utc) {
    int64_t now_local = core::calendar_seconds(now);
    int64_t offset = now_local - now_utc;  // local calendar seconds less UTC ones
    std::vector<size_t> starts = campaign::review_list(list_bytes).record_starts;
    std::map<std::string, int> places;
    for (size_t start : starts) {
        ++places[list_bytes.substr(start, 7)];
    }
    std::vector<LoggedVerdict> verdicts;
    // RINGY first: where both tails are one record's, its "Y" is the later verdict, for a
    // notified record is never called again.
    const std::pair<const std::string*, bool> logs[] = {{&notified_log, true},
                                                        {&not_notified_log, false}};
    for (const auto& [log, notified] : logs) {
        campaign::ResultLine line;
        if (!last_verdict(*log, notified, line) || places[line.number] != 1) {
            continue;
        }
        for (size_t i = 0; i < starts.size(); ++i) {
            std::string record = list_bytes.substr(starts[i], campaign::RECORD_SIZE);
            Attempt attempt = attempts.of(static_cast<int>(i + 1), line.number);
            if (record.compare(0, 7, line.number) != 0 || attempt.count == 0 ||
                (!verdicts.empty() && verdicts.front().number == line.number)) {
                continue;
            }
            int64_t call = attempt.last_call + offset;
            char mark = notified ? 'Y' : line.mark;
            if (written_between(line, call, std::max(now_local, call + DAY)) &&
                campaign::record_mark(record) != mark) {
                verdicts.push_back({static_cast<int>(i + 1),
                                    static_cast<long>(starts[i] + campaign::RECORD_SIZE),
                                    line.number, mark});
            }
        }
    }
    return verdicts;
}

}  // namespace campaign
