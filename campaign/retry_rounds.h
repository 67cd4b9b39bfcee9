#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "campaign/attempts.h"
#include "campaign/retry_rules.h"

namespace campaign {

// A record of the list as a round sees it.
struct RoundRecord {
    int position = 0;    // counted from 1
    long end = 0;        // the offset just past it, where its mark is written from
    std::string record;  // its 20 bytes
    char mark = ' ';
    Attempt attempt;
    bool pending = false;  // handed out, its verdict not in yet
};

// The attempts of one run's list and its retry rounds: each call counted on the disk before
// it is placed, and once every record has its mark, the records the rules still retry, in
// list order.
class RetryRounds {
  public:
    // A run begins: the attempts beside list are read and matched to the records of
    // list_bytes (a hand-edited list moves them); a file that cannot be read is refused, or a
    // record could be called more often than the rules allow.
    std::string begin_run(const RetryRules& rules, const std::filesystem::path& list,
                          unsigned list_mode, const std::string& list_bytes);
    bool enabled() const { return rules_.keeps_attempts(); }
    // The entries of the file that no record of the list took.
    int unmatched() const { return unmatched_; }
    const Attempts& attempts() const { return attempts_; }

    // Whether the record at position may still be called: fewer attempts than the rules allow.
    bool attempts_left(int position, const std::string& number) const;
    // Counts a call of the record (its line as the list has it) on the disk. Returns the
    // system's reason on failure, else "".
    std::string count_call(int position, const std::string& record, int64_t now_utc);

    // The rounds begin from the list's bytes, once every record has its mark.
    bool rounds_begun() const { return begun_; }
    void begin_rounds(const std::string& list_bytes);
    // The first record in list order that is due now; marked pending. Null when none is.
    const RoundRecord* next_due(int64_t now_utc);
    // A verdict for a record handed out in a round.
    void verdict(int position, char mark);
    // When the earliest waiting record is due; none when no record waits for its gap.
    std::optional<int64_t> earliest_due() const;
    // Nothing left to call: every record notified or its attempts used up.
    bool finished() const { return begun_ && round_.empty(); }

  private:
    RetryRules rules_;
    std::filesystem::path file_;
    unsigned mode_ = 0;
    Attempts attempts_;
    int unmatched_ = 0;
    bool begun_ = false;
    std::vector<RoundRecord> round_;
};

}  // namespace campaign
