#pragma once

#include <mutex>

#include "sound.h"

namespace core {

// Plays WAV files to Windows' default output device through winmm, synchronously, as the
// original's sndPlaySound did.
class WinmmSound : public Sound {
  public:
    std::string output_problem() override;
    std::string play(const std::filesystem::path& file, const std::string& name) override;

  private:
    std::mutex mutex_;
};

}  // namespace core
