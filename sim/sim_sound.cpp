#include "sim/sim_sound.h"

#include "sound/wav_file.h"

namespace sim {

std::string SimSound::play(const std::filesystem::path& file, const std::string& name) {
    core::WavInfo info;
    std::string error = core::read_wav_info(file, info);
    if (!error.empty()) {
        return error;
    }
    rack_.hear(name, info.length);
    clock_.sleep_for(info.length);
    return {};
}

}  // namespace sim
