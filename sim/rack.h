#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <optional>

#include "sim/board.h"
#include "sim/rack_file.h"

namespace sim {

// The eight board slots on one bus. A select byte connects the addressed board (if fitted);
// the bytes after it go to that board until it is released or another is selected.
class Rack {
  public:
    explicit Rack(const RackSetup& setup);

    // One byte on the bus at now (the rack's clock, from its start); the reply of the board it
    // went to, if that board answers.
    std::optional<Reply> feed(uint8_t byte, core::Duration now);
    // What the PC's sound output plays: heard by the board that is recording, if any.
    void hear(const std::string& file, core::Duration length);

    // Read back, between exchanges. Null for an empty slot.
    const Board* board(int address) const { return boards_[address].get(); }
    // Sound played while no board was recording.
    const std::vector<std::string>& unheard_sound() const { return unheard_sound_; }

  private:
    std::mutex mutex_;
    std::array<std::unique_ptr<Board>, 8> boards_;
    int selected_ = -1;
    std::vector<std::string> unheard_sound_;
};

}  // namespace sim
