#pragma once

#include "inform/inform_controller.h"
#include "win32/dialog_setup.h"

namespace inform {

// Inform's dialog for the shared Win32 shell.
win32::DialogSetup dialog_setup(const InformController& controller);

}  // namespace inform
