#pragma once

#include <cstdint>
#include <string>

#include "campaign/attempts.h"

namespace campaign {

// Which records not notified are called again, and when: Dialrun's rounds and ringlist retry
// take the same rules.
struct RetryRules {
    int retry = 1;             // calls in all per record; 1: no rounds, attempts not kept
    int gap_minutes = 120;     // between two calls of one record
    std::string marks = "ZN";  // verdicts called again; never "Y"

    bool keeps_attempts() const { return retry > 1; }
};

// Checks a retry-marks value: Z and N only, at least one. Returns what is wrong, else "".
std::string check_retry_marks(const std::string& marks);

enum class RetryState {
    not_retried,  // notified, or a mark the rules do not retry
    used_up,      // called as often as the rules allow
    waiting,      // the gap since the last call has not passed
    due,
};

RetryState retry_state(const RetryRules& rules, char mark, const Attempt& attempt, int64_t now_utc);

// When a record may be called again (UTC seconds).
int64_t retry_due_at(const RetryRules& rules, const Attempt& attempt);

}  // namespace campaign
