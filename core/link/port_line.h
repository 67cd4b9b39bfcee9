#pragma once

#include <memory>
#include <string>

#include "link/transport.h"
#include "time/clock.h"

namespace core {

// How a program wants its serial port: a program goes on over a port that would not open
// (its survey finds no boards); a tool that only looks at the port stops there. A reopenable
// port can be closed and opened again after it failed (reconnect).
struct PortChoice {
    std::string port;
    bool go_on_without_port = true;
    bool reopenable = false;
};

struct PortLine {
    // The port, a reopenable port over it, or, for a port that would not open, a closed port
    // on which every exchange times out. Null when the port is refused.
    std::unique_ptr<Transport> port;
    // Why the port did not open, as the log says it; empty when it opened.
    std::string port_error;
};

// Opens the real port of a choice on the given clock.
PortLine open_port_line(const PortChoice& choice, Clock& clock);

}  // namespace core
