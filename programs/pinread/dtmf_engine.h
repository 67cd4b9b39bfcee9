#pragma once

#include "form/form_messages.h"
#include "pinread/pinread_state.h"
#include "sequences/engine_skeleton.h"
#include "state/program_state.h"

namespace pinread {

// One DTMF reception: every channel in DTMF mode with a line is started, then polled in
// cycles. A ready board is armed for the next caller, has its code read and spoken back key
// by key, and has its receiver put down. After "Стоп" each channel is wound down and the
// reception ends; any missing reply or wrong echo ends it at once.
class DtmfEngine : station::EngineSkeleton {
  public:
    DtmfEngine(station::ProgramState& s, PinreadState& p, station::FormMessages& form)
        : EngineSkeleton(s, 500), s_(s), p_(p), form_(form) {}

    void run();

  private:
    bool serves(int k) const override { return p_.dtmf_active[k]; }
    bool start_channel(int k) override;
    void before_channel(int k) override;
    bool poll_channel(int k) override;
    bool stop_requested() const override { return p_.stop_requested; }
    bool on_ready(int k);
    bool arm(int k);
    bool play_stop_phrase(int k);
    bool hang_up(int k);
    bool read_code(int k);
    bool play_next_key(int k);
    bool stop_channel(int k);
    bool release(int k);
    void end_run() override;

    void pause(core::Duration d) { s_.link.pause(d); }
    int64_t whole_seconds() const;

    station::ProgramState& s_;
    PinreadState& p_;
    station::FormMessages& form_;
};

}  // namespace pinread
