#include "link/port_line.h"

#include "link/closed_port.h"
#include "link/link.h"
#include "link/reopenable_port.h"
#include "link/serial_port.h"

namespace core {

PortLine open_port_line(const PortChoice& choice, Clock& clock) {
    PortLine line;
    OpenedPort opened = open_serial_port(choice.port, clock);
    if (!opened.port) {
        line.port_error = port_not_opened_text(choice.port, opened.error);
    }
    if (choice.reopenable && (opened.port || choice.go_on_without_port)) {
        line.port = std::make_unique<ReopenablePort>(choice.port, std::move(opened.port), clock);
    } else if (opened.port) {
        line.port = std::move(opened.port);
    } else if (choice.go_on_without_port) {
        line.port = std::make_unique<ClosedPort>(choice.port, clock);
    }
    return line;
}

}  // namespace core
