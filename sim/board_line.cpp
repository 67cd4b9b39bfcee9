#include "sim/board_line.h"

#include "link/closed_port.h"
#include "link/serial_port.h"
#include "sim/rack_file.h"
#include "sim/sim_transport.h"

namespace sim {

BoardLine open_board_line(const LineChoice& choice, core::Clock& clock) {
    BoardLine line;
    if (!choice.rack_file.empty()) {
        RackParse parsed = load_rack_file(choice.rack_file);
        if (!parsed.ok) {
            line.fault = BoardLine::Fault::rack_file;
            line.fault_text = parsed.error;
            return line;
        }
        line.rack = std::make_unique<Rack>(parsed.rack);
        line.port = std::make_unique<SimTransport>(*line.rack, clock);
    } else {
        core::OpenedPort opened = core::open_serial_port(choice.port, clock);
        if (opened.port) {
            line.port = std::move(opened.port);
        } else {
            line.port_error = core::port_not_opened_text(choice.port, opened.error);
            if (!choice.go_on_without_port) {
                line.fault = BoardLine::Fault::port;
                line.fault_text = line.port_error;
                return line;
            }
            line.port = std::make_unique<core::ClosedPort>(choice.port, clock);
        }
    }
    if (!choice.trace_file.empty()) {
        line.trace = std::make_unique<core::WireTrace>(clock);
        std::string why = line.trace->open(choice.trace_file);
        if (!why.empty()) {
            line.fault = BoardLine::Fault::trace_file;
            line.fault_text = why;
            return line;
        }
    }
    line.link = std::make_unique<core::Link>(*line.port, clock, line.trace.get());
    return line;
}

}  // namespace sim
