#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "time/clock.h"

namespace core {

// What one attempt to read a reply byte came to. A vanished device is not a time-out: the
// caller gives up the same way, but the link can tell the operator why.
struct ReadResult {
    enum class Kind { byte, timeout, device_lost };
    Kind kind = Kind::timeout;
    uint8_t value = 0;
    std::string reason;  // the system's reason, for device_lost

    static ReadResult byte(uint8_t v) { return {Kind::byte, v, {}}; }
    static ReadResult timeout() { return {}; }
    static ReadResult lost(std::string why) { return {Kind::device_lost, 0, std::move(why)}; }
};

// The byte pipe under the board link: a serial port, a port that could not be opened, or the
// simulated rack. Deadlines are times on the link's clock.
class Transport {
  public:
    virtual ~Transport() = default;
    virtual std::string name() const = 0;
    // Returns an empty string when the byte went out, else the system's reason.
    virtual std::string write_byte(uint8_t value) = 0;
    virtual ReadResult read_byte(Duration deadline) = 0;
    // Drops whatever has already arrived and returns it, so the trace can show it.
    virtual std::vector<uint8_t> discard_input() = 0;
    // Closes the device and opens it again; "" when it opened, else the system's reason.
    // Whatever cannot be reopened (the simulated rack) is simply still there.
    virtual std::string reopen() { return {}; }
};

}  // namespace core
