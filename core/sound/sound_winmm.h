#pragma once

#include <mutex>

#include "sound/sound.h"

namespace core {

// Plays WAV files to Windows' default output device through winmm, returning when a file has
// played to its end, so the upload's pauses follow the sound.
class WinmmSound : public Sound {
  public:
    std::string output_problem() override;
    std::string play(const std::filesystem::path& file, const std::string& name) override;

  private:
    std::mutex mutex_;
};

}  // namespace core
