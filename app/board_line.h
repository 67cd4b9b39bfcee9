#pragma once

#include <memory>
#include <string>

#include "link/link.h"
#include "link/transport.h"
#include "link/wire_trace.h"
#include "sim/rack.h"
#include "time/clock.h"

namespace program {

// What the boards are reached through: the simulated rack of a rack file, or a serial port
// (opened by the link layer; sim only simulates). Chosen here, above both.
struct LineChoice {
    std::string rack_file;  // when not empty, the simulated rack instead of the port
    std::string port;
    std::string trace_file;  // when not empty, every byte is traced there
    // A program goes on over a port that would not open (its survey finds no boards); a tool
    // that only looks at the port stops there.
    bool go_on_without_port = true;
    // The port can be closed and opened again after it failed (reconnect).
    bool reopenable = false;
};

// The link to the boards and what it stands on, in one place for the programs and the tools.
struct BoardLine {
    std::unique_ptr<sim::Rack> rack;
    // The rack's transport, the serial port, or, for a port that would not open, a closed
    // port on which every exchange times out.
    std::unique_ptr<core::Transport> port;
    // Why the port did not open, as the log says it; empty when it opened.
    std::string port_error;
    std::unique_ptr<core::WireTrace> trace;
    std::unique_ptr<core::Link> link;

    // What stopped the line from being made: a rack file or a trace file that cannot be used,
    // or a port that would not open where the choice does not go on without it.
    enum class Fault { none, rack_file, port, trace_file };
    Fault fault = Fault::none;
    std::string fault_text;
};

// Opens the rack or the port, then the trace, then the link over them, on the given clock.
BoardLine open_board_line(const LineChoice& choice, core::Clock& clock);

// The same over a rack given as text, as the tests give theirs (named "test.rack" in errors).
BoardLine board_line_on_rack_text(const std::string& rack_text, const std::string& trace_file,
                                  core::Clock& clock);

}  // namespace program
