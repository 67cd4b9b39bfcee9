#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "link/link.h"
#include "sim/rack.h"
#include "sim/sim_transport.h"
#include "time/virtual_clock.h"

// A simulated rack behind a link, on a virtual clock.
struct RackOnLink {
    explicit RackOnLink(const std::string& rack_text) {
        sim::RackParse parsed = sim::parse_rack_text(rack_text, "test.rack");
        EXPECT_TRUE(parsed.ok) << parsed.error;
        rack = std::make_unique<sim::Rack>(parsed.rack);
        transport = std::make_unique<sim::SimTransport>(*rack, clock);
        link = std::make_unique<core::Link>(*transport, clock);
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
    std::unique_ptr<sim::Rack> rack;
    std::unique_ptr<sim::SimTransport> transport;
    std::unique_ptr<core::Link> link;
};
