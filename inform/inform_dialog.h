#pragma once

#include "dialog_setup.h"
#include "inform_controller.h"

namespace inform {

// Inform's dialog for the shared Win32 shell.
win32::DialogSetup dialog_setup(const InformController& controller);

}  // namespace inform
