#pragma once

#include <memory>
#include <string>

#include "link/transport.h"

namespace core {

// COM1 of the original: /dev/ttyS0 on Linux, COM1 on Windows.
std::string default_port_name();

struct OpenedPort {
    std::unique_ptr<Transport> port;  // null when the port could not be opened
    std::string error;                // the system's reason, when it could not
};

// Opens the port raw at 9600 8N1, for this process alone. Deadlines are read on clock, which
// must be a real clock: the wire does not wait for a virtual one.
OpenedPort open_serial_port(const std::string& name, const Clock& clock);

}  // namespace core
