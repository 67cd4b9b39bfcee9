#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "campaign/calling_window.h"
#include "campaign/retry_rounds.h"
#include "campaign/subscriber_list.h"
#include "dialrun/shared_calling.h"
#include "link/commands.h"

namespace dialrun {

// What the calling engine shares with the form. The engine writes it; the form's handlers
// read it while the engine waits for them, and the start and stop buttons set what they own.
struct DialrunState {
    std::array<bool, core::CHANNEL_COUNT> ring_active{};
    std::array<bool, core::CHANNEL_COUNT> ring_pending{};
    std::array<unsigned, core::CHANNEL_COUNT> notified_count{};
    std::array<unsigned, core::CHANNEL_COUNT> not_notified_count{};
    // Columns 0-7 of the record handed to each channel, and the offset just past it.
    std::array<std::string, core::CHANNEL_COUNT> channel_number{};
    std::array<long, core::CHANNEL_COUNT> record_end{};
    std::string status_line;
    std::atomic<bool> stop_requested{false};
    int wait_value = 20;
    int stop_hour = 22;
    campaign::CallingWindow window;  // its stop hour is stop_hour's
    campaign::SubscriberList list;
    unsigned list_mode = 0;  // the list's permission bits: the logs hold its numbers
    // With retry: the attempts and the rounds after the list has been read to its end.
    campaign::RetryRounds rounds;
    int records_read = 0;  // the position of the record last read, counted from 1
    bool list_read = false;
    std::array<int, core::CHANNEL_COUNT> channel_position{};
    std::array<bool, core::CHANNEL_COUNT> channel_retried{};  // a round's call, not the first
    std::atomic<int64_t> next_retry{0};  // calendar seconds of local time; 0: none waits
    // Verdicts whose mark could not be written (the record's end, the board's reply): written
    // again before anything else is handed out.
    std::vector<std::pair<long, uint8_t>> unwritten_marks;
    // With campaign-db: the records come from the campaign many racks share, not Ring.TXT.
    std::unique_ptr<SharedCalling> shared;
    std::string record_shown;  // a shared record handed out, for the form's list
};

// Dialrun's own messages from the engine to the form.
class DialrunMessages {
  public:
    virtual ~DialrunMessages() = default;
    // A channel's verdict for the form: 1 notified, 2 not notified, 0 no result; status_line
    // is ready.
    virtual void channel_result(int code, int channel) = 0;
    // A record read for the form: 0 a fresh record handed out, 1 passed over marked "Y", 2
    // passed over marked otherwise, 3 passed over unmarked with its attempts used up; the
    // record is in the list's record buffer (a shared campaign's in record_shown).
    virtual void record_read(int code) = 0;
    // The run pauses until the given time, for the reason given, or (0) goes on.
    virtual void pause_changed(int64_t until, const std::string& reason) = 0;
};

constexpr int RESULT_NONE = 0;
constexpr int RESULT_NOTIFIED = 1;
constexpr int RESULT_NOT_NOTIFIED = 2;
constexpr int RECORD_HANDED_OUT = 0;
constexpr int RECORD_DONE_NOTIFIED = 1;
constexpr int RECORD_DONE_OTHERWISE = 2;
constexpr int RECORD_USED_UP = 3;

}  // namespace dialrun
