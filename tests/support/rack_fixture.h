#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/board_line.h"
#include "sim/sim_transport.h"
#include "time/virtual_clock.h"

// A simulated rack behind a link, on a virtual clock.
struct RackOnLink {
    explicit RackOnLink(const std::string& rack_text)
        : line(program::board_line_on_rack_text(rack_text, "", clock)),
          rack(line.rack.get()),
          transport(line.port.get()),
          link(line.link.get()) {
        EXPECT_EQ(line.fault, program::BoardLine::Fault::none) << line.fault_text;
    }

    // Sends a byte and returns the reply, or -1 when none came in time.
    int exchange(uint8_t byte) {
        link->send_byte(byte);
        return link->read_reply() ? link->OGD() : -1;
    }
    int select(uint8_t byte) {
        link->send_select(byte);
        return link->read_reply() ? link->OGD() : -1;
    }

    core::VirtualClock clock;
    program::BoardLine line;
    sim::Rack* rack;
    core::Transport* transport;
    core::Link* link;
};
