#pragma once

#include <functional>
#include <string>
#include <vector>

#include "control/controller.h"
#include "form/form_controls.h"
#include "form/text_list.h"

namespace win32 {

class DialogBinding;

// A list view of dialog 101 that shows one of the form's lists (owner data).
struct ListBinding {
    int id = 0;
    const station::TextList* list = nullptr;
};

// An up-down control of dialog 101 and the console command its value goes to.
struct SpinBinding {
    int id = 0;
    std::string command;
    int low = 0;
    int high = 0;
};

// What a program gives the shared Win32 shell: its dialog's ids and its own members.
struct DialogSetup {
    station::FormControls controls;
    std::vector<ListBinding> lists;
    std::vector<SpinBinding> spins;
    // Moves the program's own members into its own controls; may be empty.
    std::function<void(DialogBinding&, const station::Controller&)> refresh_extras;
};

}  // namespace win32
