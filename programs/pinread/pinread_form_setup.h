#pragma once

#include "app/window_main.h"

namespace pinread {

// Pinread's form for this platform's window: the Qt window's setup, or the Win32 dialog's.
program::FormSetup form_setup(const station::Controller& controller);

}  // namespace pinread
