#pragma once

#include <optional>

#include "dialrun/dialrun_state.h"
#include "form/form_messages.h"
#include "sequences/engine_skeleton.h"
#include "state/program_state.h"

namespace dialrun {

// One calling run: start every ring-round channel with a line, then poll them in passes,
// handing out records and fetching verdicts, until each channel has stopped (stop button,
// stop hour, end of the list) or a board fails to answer.
class CallingEngine : station::EngineSkeleton {
  public:
    CallingEngine(station::ProgramState& s, DialrunState& d, station::FormMessages& form,
                  DialrunMessages& messages)
        : EngineSkeleton(s, 200), s_(s), d_(d), form_(form), messages_(messages) {}

    void run();

  private:
    bool serves(int k) const override { return d_.ring_active[k]; }
    bool start_channel(int k) override;
    void before_pass() override;
    bool pause_if_due() override;
    bool pause_channel(int k);
    bool may_hand_out() const;
    std::optional<int64_t> retry_wait() const;
    core::LocalTime pause_end() const;
    std::string pause_reason() const;
    bool call_pending() const;
    bool poll_channel(int k) override;
    bool stop_requested() const override { return d_.stop_requested; }
    void report_wrong_echo();
    bool fetch_result(int k);
    bool give_out_record(int k);
    bool give_out_shared(int k);
    void write_shared_result(int k, uint8_t reply);
    void wait_for_campaign();
    bool waits_for_campaign() const;
    void log_shared_notes();
    campaign::RecordKind read_to_fresh_record();
    bool give_out_retry(int k);
    void publish_next_retry();
    bool hand_out(int k, const std::string& record, long record_end, int position);
    bool write_unwritten_marks();
    bool stop_channel(int k);
    void write_result(int k, uint8_t reply);
    void end_run() override;

    void pause(core::Duration d) { s_.link.pause(d); }
    void log_error(const std::string& text) { s_.log.add_unselected(text); }

    station::ProgramState& s_;
    DialrunState& d_;
    station::FormMessages& form_;
    DialrunMessages& messages_;
};

// The 8 data bytes of CMD_NUMBER for a record: the amount (column 9 as it is, then columns
// 10-15 packed two to a byte), then 0xF0 with the first digit, then digits 2-7 packed.
std::array<uint8_t, 8> number_payload(const std::string& record);

}  // namespace dialrun
