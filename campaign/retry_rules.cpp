#include "campaign/retry_rules.h"

#include <algorithm>

namespace campaign {

std::string check_retry_marks(const std::string& marks) {
    if (marks.find('Y') != std::string::npos) {
        return "отметку Y повторять нельзя: оповещенным позвонили бы второй раз";
    }
    if (marks.empty() || marks.find_first_not_of("ZN") != std::string::npos) {
        return "нужны отметки Z и/или N, а не '" + marks + "'";
    }
    return {};
}

RetryState retry_state(const RetryRules& rules, char mark, const Attempt& attempt,
                       int64_t now_utc) {
    if (mark == 'Y' || mark == ' ' || rules.marks.find(mark) == std::string::npos) {
        return RetryState::not_retried;
    }
    // A mark is a call, even one made before attempts were kept.
    if (std::max(attempt.count, 1) >= rules.retry) {
        return RetryState::used_up;
    }
    return now_utc < retry_due_at(rules, attempt) ? RetryState::waiting : RetryState::due;
}

int64_t retry_due_at(const RetryRules& rules, const Attempt& attempt) {
    return attempt.last_call + int64_t{rules.gap_minutes} * 60;
}

}  // namespace campaign
