#include "sim/rack.h"

namespace sim {

Rack::Rack(const RackSetup& setup) {
    for (int a = 0; a < 8; ++a) {
        if (setup.boards[a]) {
            boards_[a] = std::make_unique<Board>(*setup.boards[a]);
        }
    }
}

std::optional<Reply> Rack::feed(uint8_t byte, core::Duration now) {
    std::lock_guard lock(mutex_);
    Board* current = selected_ >= 0 ? boards_[selected_].get() : nullptr;
    if (current != nullptr && !current->selected()) {
        current = nullptr;  // released by CMD_END
    }
    if (current != nullptr && current->takes_as_data(byte)) {
        return current->receive(byte, false, now);
    }
    if (is_select_byte(byte)) {
        selected_ = byte & 0x07;
        Board* addressed = boards_[selected_].get();
        return addressed != nullptr ? addressed->receive(byte, true, now) : std::nullopt;
    }
    if (current == nullptr) {
        return std::nullopt;  // nobody is on the bus to hear it
    }
    return current->receive(byte, false, now);
}

void Rack::hear(const std::string& file, core::Duration length) {
    std::lock_guard lock(mutex_);
    Board* current = selected_ >= 0 ? boards_[selected_].get() : nullptr;
    if (current == nullptr) {
        unheard_sound_.push_back(file);
        return;
    }
    current->hear(file, length);
}

}  // namespace sim
