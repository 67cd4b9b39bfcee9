#include "sim/board_line.h"

#include "link/closed_port.h"
#include "link/reopenable_port.h"
#include "link/serial_port.h"
#include "sim/rack_file.h"
#include "sim/sim_transport.h"

namespace sim {

namespace {

void put_rack(BoardLine& line, const RackParse& parsed, core::Clock& clock) {
    if (!parsed.ok) {
        line.fault = BoardLine::Fault::rack_file;
        line.fault_text = parsed.error;
        return;
    }
    line.rack = std::make_unique<Rack>(parsed.rack);
    line.port = std::make_unique<SimTransport>(*line.rack, clock);
}

// The trace where one is named, then the link over the port.
void put_link(BoardLine& line, const std::string& trace_file, core::Clock& clock) {
    if (!trace_file.empty()) {
        line.trace = std::make_unique<core::WireTrace>(clock);
        std::string why = line.trace->open(trace_file);
        if (!why.empty()) {
            line.fault = BoardLine::Fault::trace_file;
            line.fault_text = why;
            return;
        }
    }
    line.link = std::make_unique<core::Link>(*line.port, clock, line.trace.get());
}

}  // namespace

BoardLine open_board_line(const LineChoice& choice, core::Clock& clock) {
    BoardLine line;
    if (!choice.rack_file.empty()) {
        put_rack(line, load_rack_file(choice.rack_file), clock);
        if (line.fault != BoardLine::Fault::none) {
            return line;
        }
    } else {
        core::OpenedPort opened = core::open_serial_port(choice.port, clock);
        if (!opened.port) {
            line.port_error = core::port_not_opened_text(choice.port, opened.error);
        }
        if (choice.reopenable && (opened.port || choice.go_on_without_port)) {
            line.port =
                std::make_unique<core::ReopenablePort>(choice.port, std::move(opened.port), clock);
        } else if (opened.port) {
            line.port = std::move(opened.port);
        } else {
            if (!choice.go_on_without_port) {
                line.fault = BoardLine::Fault::port;
                line.fault_text = line.port_error;
                return line;
            }
            line.port = std::make_unique<core::ClosedPort>(choice.port, clock);
        }
    }
    put_link(line, choice.trace_file, clock);
    return line;
}

BoardLine board_line_on_rack_text(const std::string& rack_text, const std::string& trace_file,
                                  core::Clock& clock) {
    BoardLine line;
    put_rack(line, parse_rack_text(rack_text, "test.rack"), clock);
    if (line.fault == BoardLine::Fault::none) {
        put_link(line, trace_file, clock);
    }
    return line;
}

}  // namespace sim
