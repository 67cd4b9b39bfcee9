#pragma once

#include "sim/rack.h"
#include "sound/sound.h"
#include "time/clock.h"

namespace sim {

// The sound output wired to the simulated rack: a file "plays" for as long as it lasts on the
// program's clock (no real time under --fast), and the board that is recording hears it.
class SimSound : public core::Sound {
  public:
    SimSound(Rack& rack, core::Clock& clock) : rack_(rack), clock_(clock) {}
    std::string output_problem() override { return {}; }
    std::string play(const std::filesystem::path& file, const std::string& name) override;

  private:
    Rack& rack_;
    core::Clock& clock_;
};

}  // namespace sim
