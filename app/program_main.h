#pragma once

#include <functional>
#include <memory>

#include "controller.h"
#include "runtime.h"

namespace program {

using MakeController = std::function<std::unique_ptr<core::Controller>(core::Link&, core::Clock&,
                                                                       core::DriveC, core::Sound&)>;
// Runs the window until it is closed; returns the exit status. port_error is the log's first
// line when the port did not open, else empty.
using RunWindow =
    std::function<int(int& argc, char** argv, core::Controller&, const std::string& port_error)>;

// The whole life of a program: the options, the runtime under it, the controller, and the
// console or the window as its front end.
int program_main(int argc, char** argv, const core::ProgramInfo& info,
                 MakeController make_controller, RunWindow run_window);

// True where a window can be shown (a display, or a Qt platform chosen explicitly).
bool display_available();

}  // namespace program
