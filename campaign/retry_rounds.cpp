#include "campaign/retry_rounds.h"

#include <algorithm>

#include "campaign/subscriber_list.h"

namespace campaign {

std::string RetryRounds::begin_run(const RetryRules& rules, const std::filesystem::path& list,
                                   unsigned list_mode, const std::string& list_bytes) {
    rules_ = rules;
    file_ = attempts_path(list);
    mode_ = list_mode;
    attempts_ = {};
    unmatched_ = 0;
    begun_ = false;
    round_.clear();
    if (!enabled()) {
        return {};
    }
    std::string error;
    attempts_ = read_attempts(list, error).matched_to(list_numbers(list_bytes), unmatched_);
    return error;
}

bool RetryRounds::attempts_left(int position, const std::string& number) const {
    return attempts_.of(position, number).count < rules_.retry;
}

std::string RetryRounds::count_call(int position, const std::string& record, int64_t now_utc) {
    std::string number = record.substr(0, 7);
    Attempt attempt = attempts_.of(position, number);
    // A record marked before its attempts were kept has had its call.
    bool marked = campaign::record_mark(record) != ' ';
    attempt.count = std::max(attempt.count, marked ? 1 : 0) + 1;
    attempt.last_call = now_utc;
    std::string error = append_attempts(file_, attempt_line(position, number, attempt), mode_);
    if (error.empty()) {
        attempts_.set(position, number, attempt);
    }
    return error;
}

void RetryRounds::begin_rounds(const std::string& list_bytes) {
    begun_ = true;
    round_.clear();
    int position = 0;
    for (size_t start : campaign::review_list(list_bytes).record_starts) {
        ++position;
        RoundRecord r;
        r.position = position;
        r.record = list_bytes.substr(start, campaign::RECORD_SIZE);
        r.end = static_cast<long>(start + r.record.size());
        r.mark = campaign::record_mark(r.record);
        r.attempt = attempts_.of(position, r.record.substr(0, 7));
        RetryState state = retry_state(rules_, r.mark, r.attempt, 0);
        if (state == RetryState::waiting || state == RetryState::due) {
            round_.push_back(r);
        }
    }
}

const RoundRecord* RetryRounds::next_due(int64_t now_utc) {
    for (RoundRecord& r : round_) {
        if (!r.pending && retry_state(rules_, r.mark, r.attempt, now_utc) == RetryState::due) {
            r.pending = true;
            return &r;
        }
    }
    return nullptr;
}

void RetryRounds::verdict(int position, char mark) {
    auto at = std::find_if(round_.begin(), round_.end(),
                           [&](const RoundRecord& r) { return r.position == position; });
    if (at == round_.end()) {
        return;
    }
    at->pending = false;
    at->mark = mark;
    at->attempt = attempts_.of(position, at->record.substr(0, 7));
    RetryState state = retry_state(rules_, at->mark, at->attempt, 0);
    if (state != RetryState::waiting && state != RetryState::due) {
        round_.erase(at);
    }
}

std::optional<int64_t> RetryRounds::earliest_due() const {
    std::optional<int64_t> earliest;
    for (const RoundRecord& r : round_) {
        if (!r.pending) {
            int64_t due = retry_due_at(rules_, r.attempt);
            earliest = earliest ? std::min(*earliest, due) : due;
        }
    }
    return earliest;
}

}  // namespace campaign
