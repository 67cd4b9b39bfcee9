#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/board_line.h"
#include "control/controller.h"
#include "form/front_end.h"
#include "sim/sim_sound.h"
#include "time/virtual_clock.h"

// A front end that runs every form handler at once, serialised as on a user-interface thread.
class DirectFrontEnd : public station::FrontEnd {
  public:
    void run_on_ui(const std::function<void()>& handler) override {
        std::lock_guard lock(ui_mutex);
        handler();
    }
    void form_changed() override {
        ++updates;
        if (on_form_changed) {
            on_form_changed();
        }
    }

    std::recursive_mutex ui_mutex;
    int updates = 0;
    std::function<void()> on_form_changed;  // runs on the "user-interface side"
};

// The numbers a board was handed, as "NNNNNNN" decoded from its CMD_NUMBER payloads.
inline std::vector<std::string> numbers_handed(const sim::Board& b) {
    std::vector<std::string> numbers;
    for (const auto& payload : b.numbers()) {
        std::string n(1, static_cast<char>('0' + (payload[4] & 0x0F)));
        for (int i = 5; i < 8; ++i) {
            n += static_cast<char>('0' + (payload[i] >> 4));
            n += static_cast<char>('0' + (payload[i] & 0x0F));
        }
        numbers.push_back(n);
    }
    return numbers;
}

// A reading of the PC clock, "YYYY-MM-DDTHH:MM:SS".
inline core::LocalTime at(const char* text) {
    core::LocalTime t;
    EXPECT_TRUE(core::parse_local_time(text, t));
    return t;
}

// Where a test program keeps its files and when its PC clock starts.
struct Setting {
    std::string trace_path;
    std::string root = ".";
    core::LocalTime start{};
};

// One program's controller on a simulated rack, on a virtual clock, with no window.
template <typename ProgramController>
struct ProgramOnRack {
    explicit ProgramOnRack(const std::string& rack_text, const std::string& trace_path = "")
        : ProgramOnRack(rack_text, Setting{trace_path}) {}
    ProgramOnRack(const std::string& rack_text, const Setting& setting)
        : clock(setting.start), root(setting.root) {
        line = program::board_line_on_rack_text(rack_text, setting.trace_path, clock);
        EXPECT_EQ(line.fault, program::BoardLine::Fault::none) << line.fault_text;
        rack = line.rack.get();
        link = line.link.get();
        sound = std::make_unique<sim::SimSound>(*rack, clock);
        controller = station::OwnedController<ProgramController>(
            new ProgramController(*link, clock, core::DriveC(setting.root), *sound));
    }
    ~ProgramOnRack() { clock.release_hold(); }

    // Puts a test's transport between the link and the rack, with a new link and controller
    // over it. The fixture keeps it, so the workers never outlive what they use.
    template <typename T, typename... Args>
    T& interpose(Args&&... args) {
        controller.reset();
        auto between = std::make_unique<T>(*line.port, std::forward<Args>(args)...);
        T& made = *between;
        interposed_link = std::make_unique<core::Link>(*between, clock, line.trace.get());
        link = interposed_link.get();
        interposed = std::move(between);
        controller = station::OwnedController<ProgramController>(
            new ProgramController(*link, clock, core::DriveC(root), *sound));
        return made;
    }

    // Starts the program and lets the survey run to its end.
    void start_and_survey(const std::string& port_error = "") {
        controller->start(front_end, port_error);
        ASSERT_TRUE(controller->wait_idle(std::chrono::seconds(10)));
    }
    // An operator action, on the user-interface side.
    template <typename F>
    auto ui(F action) {
        std::lock_guard lock(front_end.ui_mutex);
        return action(*controller);
    }
    std::optional<std::string> press(station::Button b) {
        return ui([b](auto& c) { return c.press(b); });
    }
    // Starts work, lets it run for d of program time, stops it and waits for the end.
    void run_then_stop(core::Duration d) {
        using namespace std::chrono_literals;
        core::Duration until = clock.now() + d;
        clock.hold_at(until);
        ASSERT_EQ(press(station::Button::start), std::nullopt);
        ASSERT_TRUE(clock.wait_reached(until, 10s));
        EXPECT_EQ(press(station::Button::stop), std::nullopt);
        clock.release_hold();
        ASSERT_TRUE(controller->wait_idle(20s));
    }
    std::vector<std::string> log() const { return controller->state().log.lines(); }
    const std::vector<uint8_t>& received(int address) const {
        return rack->board(address)->received();
    }

    core::VirtualClock clock;
    std::string root;
    program::BoardLine line;
    sim::Rack* rack = nullptr;
    std::unique_ptr<core::Transport> interposed;
    std::unique_ptr<core::Link> interposed_link;
    core::Link* link = nullptr;  // the one the controller uses
    std::unique_ptr<sim::SimSound> sound;
    DirectFrontEnd front_end;
    station::OwnedController<ProgramController> controller;
};
