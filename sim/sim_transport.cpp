#include "sim/sim_transport.h"

namespace sim {

using core::Duration;
using core::ReadResult;

std::string SimTransport::write_byte(uint8_t value) {
    Duration sent = clock_.now();
    std::optional<Reply> reply = rack_.feed(value, sent);
    if (reply) {
        std::lock_guard lock(mutex_);
        input_.push_back({sent + 2 * byte_time_ + reply->delay, reply->value, reply->late});
    }
    return {};
}

ReadResult SimTransport::read_byte(Duration deadline) {
    std::unique_lock lock(mutex_);
    if (!input_.empty() && input_.front().late) {
        // "Late" means just after this caller's deadline, whatever that deadline is.
        input_.front().late = false;
        input_.front().at = std::max(input_.front().at, deadline + std::chrono::milliseconds(1));
    }
    if (input_.empty() || input_.front().at > deadline) {
        lock.unlock();
        clock_.sleep_until(deadline);
        return ReadResult::timeout();
    }
    Pending next = input_.front();
    input_.pop_front();
    lock.unlock();
    clock_.sleep_until(next.at);
    return ReadResult::byte(next.value);
}

std::vector<uint8_t> SimTransport::discard_input() {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> dropped;
    Duration now = clock_.now();
    while (!input_.empty() && !input_.front().late && input_.front().at <= now) {
        dropped.push_back(input_.front().value);
        input_.pop_front();
    }
    return dropped;
}

}  // namespace sim
