#pragma once

#include <functional>

#include "controller.h"
#include "form_binding.h"
#include "form_controls.h"
#include "runtime.h"

class QWidget;

namespace gui {

// What a program gives the shared shell: its form and how to show its own members.
struct WindowSpec {
    FormControls controls;
    std::function<QWidget*()> make_form;
    // Moves the program's own members into its own controls; may be empty.
    std::function<void(FormBinding&, const core::Controller&)> refresh_extras;
    // Connects the program's own controls (Dialrun's spins); may be empty.
    std::function<void(FormBinding&, core::Controller&)> connect_extras;
};

int run_window(int& argc, char** argv, core::Controller& controller, program::Runtime& runtime,
               const WindowSpec& spec);

}  // namespace gui
