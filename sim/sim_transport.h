#pragma once

#include <deque>
#include <mutex>

#include "link/transport.h"
#include "sim/rack.h"

namespace sim {

// One byte at 9600 baud, 8N1: ten bits on the wire.
constexpr core::Duration BYTE_TIME{1042};

// The simulated rack behind the link, in the same process: a reply becomes readable when
// the command byte and the reply have crossed the wire, plus whatever the board takes.
// Waits go through the clock, so on a virtual clock they cost no real time.
class SimTransport : public core::Transport {
  public:
    SimTransport(Rack& rack, core::Clock& clock, core::Duration byte_time = BYTE_TIME)
        : rack_(rack), clock_(clock), byte_time_(byte_time) {}

    std::string name() const override { return "simulated rack"; }
    std::string write_byte(uint8_t value) override;
    core::ReadResult read_byte(core::Duration deadline) override;
    std::vector<uint8_t> discard_input() override;

  private:
    struct Pending {
        core::Duration at;
        uint8_t value;
        bool late;
    };

    Rack& rack_;
    core::Clock& clock_;
    core::Duration byte_time_;
    std::mutex mutex_;
    std::deque<Pending> input_;
};

}  // namespace sim
