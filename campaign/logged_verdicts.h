#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "campaign/attempts.h"
#include "time/clock.h"

namespace campaign {

// A verdict that reached RINGY.txt or RINGN.txt while its mark never reached the list: a kill
// between the two writes.
struct LoggedVerdict {
    int position = 0;  // of the record, counted from 1
    long end = 0;      // the offset just past the record, where its mark is written from
    std::string number;
    char mark = ' ';  // 'Y' from RINGY, 'Z' or 'N' from RINGN
};

// The records whose mark is not the verdict of their last counted call, as the logs hold it.
// A kill between a verdict's line and its mark leaves that line the last of its log, and a
// start with the attempts marks it before anything else is written; so only the last whole
// line of each log is looked at, lines of earlier campaigns never. It is the verdict of the
// record's last call when it is stamped from that call (each call is counted before its number
// goes out) to now; the logs hold no year, and the line is taken in the year that puts it
// there. A clock set back since (a restart at an earlier time) still takes a line of the day
// after the call. Records whose number the list holds twice are left alone, as are records
// never counted. attempts are matched to the list; now and now_utc are the same moment on the
// PC's clock and in UTC.
std::vector<LoggedVerdict> unmarked_verdicts(const std::string& list_bytes,
                                             const Attempts& attempts,
                                             const std::string& notified_log,
                                             const std::string& not_notified_log,
                                             const core::LocalTime& now, int64_t now_utc);

}  // namespace campaign
