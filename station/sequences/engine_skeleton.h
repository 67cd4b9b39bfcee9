#pragma once

#include "state/program_state.h"

namespace station {

// The shape every engine's run shares: a start pass over the channels it serves, then poll
// passes over them until a stop has taken every channel out of service, or until a board
// fails to answer; then the end of the run, as one step. Each engine gives only its own steps.
class EngineSkeleton {
  public:
    virtual ~EngineSkeleton() = default;

  protected:
    // The log box is emptied before a pass once it holds more than log_limit lines.
    EngineSkeleton(ProgramState& s, int log_limit) : state_(s), log_limit_(log_limit) {}

    void run_passes();
    bool start_pass();

    // Whether channel k is still in this run's service.
    virtual bool serves(int k) const = 0;
    virtual bool start_channel(int k) = 0;
    virtual void before_pass() {}
    // Where an engine's work pauses between passes (Dialrun's calling window); false when the
    // link failed meanwhile.
    virtual bool pause_if_due() { return true; }
    // Called for every channel of a pass, served or not, before its poll.
    virtual void before_channel(int) {}
    virtual bool poll_channel(int k) = 0;
    virtual bool stop_requested() const = 0;
    virtual void end_run() = 0;

  private:
    bool poll_pass();
    bool all_stopped() const;

    ProgramState& state_;
    int log_limit_;
};

}  // namespace station
