#pragma once

#include "app/program_main.h"
#ifdef _WIN32
#include "win32/dialog_setup.h"
#else
#include "qt/program_window.h"
#endif

namespace program {

// The window of this platform, chosen here once for every program: the Win32 dialog on
// Windows, the Qt window elsewhere. A program gives only its form's setup for it.
#ifdef _WIN32
using FormSetup = win32::DialogSetup;
#else
using FormSetup = gui::WindowSetup;
#endif
using MakeFormSetup = FormSetup (*)(const station::Controller& controller);

// A program's main: its options, its runtime and its controller, then the console when asked
// for, otherwise this platform's window with the program's form.
int window_program_main(int argc, char** argv, const station::ProgramInfo& info,
                        MakeController make_controller, MakeFormSetup form_setup);

}  // namespace program
