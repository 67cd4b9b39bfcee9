#pragma once

#include <mutex>

#include "sound/sound.h"

namespace core {

// Plays WAV files to the default output device through SDL2, synchronously. Without a sound
// card, SDL_AUDIODRIVER=dummy plays in real time to nowhere.
class SdlSound : public Sound {
  public:
    ~SdlSound() override;
    std::string output_problem() override;
    std::string play(const std::filesystem::path& file, const std::string& name) override;

  private:
    std::string start_audio();

    std::mutex mutex_;
    bool started_ = false;
    std::string start_error_;
};

}  // namespace core
