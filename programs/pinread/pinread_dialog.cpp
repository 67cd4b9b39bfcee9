#include "pinread/pinread_dialog.h"

#include "pinread/pinread_controls.h"

namespace pinread {

win32::DialogSetup dialog_setup(const PinreadController&) {
    win32::DialogSetup setup;
    setup.controls = form_controls();
    return setup;
}

}  // namespace pinread
