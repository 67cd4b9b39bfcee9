#include "app/board_line.h"

#include "link/port_line.h"
#include "sim/rack_file.h"
#include "sim/sim_transport.h"

namespace program {

namespace {

void put_rack(BoardLine& line, const sim::RackParse& parsed, core::Clock& clock) {
    if (!parsed.ok) {
        line.fault = BoardLine::Fault::rack_file;
        line.fault_text = parsed.error;
        return;
    }
    line.rack = std::make_unique<sim::Rack>(parsed.rack);
    line.port = std::make_unique<sim::SimTransport>(*line.rack, clock);
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
        put_rack(line, sim::load_rack_file(choice.rack_file), clock);
        if (line.fault != BoardLine::Fault::none) {
            return line;
        }
    } else {
        core::PortLine port = core::open_port_line(
            {choice.port, choice.go_on_without_port, choice.reopenable}, clock);
        line.port = std::move(port.port);
        line.port_error = port.port_error;
        if (!line.port) {
            line.fault = BoardLine::Fault::port;
            line.fault_text = line.port_error;
            return line;
        }
    }
    put_link(line, choice.trace_file, clock);
    return line;
}

BoardLine board_line_on_rack_text(const std::string& rack_text, const std::string& trace_file,
                                  core::Clock& clock) {
    BoardLine line;
    put_rack(line, sim::parse_rack_text(rack_text, "test.rack"), clock);
    if (line.fault == BoardLine::Fault::none) {
        put_link(line, trace_file, clock);
    }
    return line;
}

}  // namespace program
