#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "time/clock.h"

namespace core {

struct WavInfo {
    uint16_t format = 0;  // 1: PCM
    uint16_t channels = 0;
    uint32_t sample_rate = 0;
    uint16_t bits = 0;
    uint32_t data_bytes = 0;
    Duration length{0};
};

// Reads a WAV file's header: what it holds and how long it plays. Returns "" for a file that
// can be played, else what is wrong with it.
std::string read_wav_info(const std::filesystem::path& file, WavInfo& info);

// A PCM WAV file's bytes: mono 16-bit, the given samples.
std::string wav_bytes(uint32_t sample_rate, const std::vector<int16_t>& samples);

}  // namespace core
