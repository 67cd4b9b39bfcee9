#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "link/commands.h"

namespace station {

// What the survey found on each channel K1..K8, and the channel being worked on.
struct ChannelTable {
    std::array<std::atomic<int>, core::CHANNEL_COUNT> channel_present{};
    std::array<std::atomic<uint8_t>, core::CHANNEL_COUNT> channel_mode{};
    std::array<std::atomic<uint8_t>, core::CHANNEL_COUNT> channel_line{};
    std::atomic<int> current_channel{0};
    // When each board last answered with its own address, in calendar seconds of the PC's
    // local time; 0 before it ever did.
    std::array<std::atomic<int64_t>, core::CHANNEL_COUNT> last_reply{};

    bool has_line(int k) const { return channel_line[k] != core::LINE_ABSENT; }
    // A channel an engine serves: in the given mode, with a line.
    bool serves(int k, uint8_t mode) const { return channel_mode[k] == mode && has_line(k); }
    bool any_serves(uint8_t mode) const {
        for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
            if (serves(k, mode)) {
                return true;
            }
        }
        return false;
    }
};
}  // namespace station
