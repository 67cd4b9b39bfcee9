#pragma once

#include "link/transport.h"

namespace core {

// Stands for a port that could not be opened: nothing is ever received, so every exchange
// ends as a time-out at its deadline and the survey finds no boards.
class ClosedPort : public Transport {
  public:
    ClosedPort(std::string name, Clock& clock) : name_(std::move(name)), clock_(clock) {}
    std::string name() const override { return name_; }
    std::string write_byte(uint8_t) override { return {}; }
    ReadResult read_byte(Duration deadline) override {
        clock_.sleep_until(deadline);
        return ReadResult::timeout();
    }
    std::vector<uint8_t> discard_input() override { return {}; }

  private:
    std::string name_;
    Clock& clock_;
};

}  // namespace core
