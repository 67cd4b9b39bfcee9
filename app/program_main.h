#pragma once

#include <functional>
#include <memory>

#include "app/runtime.h"
#include "control/controller.h"

namespace program {

using MakeController = std::function<station::OwnedController<station::Controller>(
    core::Link&, core::Clock&, core::DriveC, core::Sound&)>;
// Runs the window until it is closed; returns the exit status. start_notes are the log's
// first lines (why the port did not open, a missing folder for drive C:), one per line.
using RunWindow = std::function<int(int& argc, char** argv, station::Controller&,
                                    const std::string& start_notes)>;
// Shows why the program cannot start in a message box, for an operator who started it from a
// menu and sees no standard error.
using ShowRefusal = std::function<void(int& argc, char** argv, const std::string& text)>;

// The whole life of a program: the options, the runtime under it, the controller, and the
// console or the window as its front end.
int program_main(int argc, char** argv, const station::ProgramInfo& info,
                 MakeController make_controller, RunWindow run_window,
                 ShowRefusal show_refusal = nullptr);

// True where a window can be shown (a display, or a Qt platform chosen explicitly).
bool display_available();

}  // namespace program
