#include "pinread/pinread_dialog.h"
#include "pinread/pinread_form_setup.h"

#include "pinread/pinread_controls.h"

namespace pinread {

win32::DialogSetup dialog_setup(const PinreadController&) {
    win32::DialogSetup setup;
    setup.controls = form_controls();
    return setup;
}

program::FormSetup form_setup(const station::Controller& controller) {
    return dialog_setup(static_cast<const PinreadController&>(controller));
}

}  // namespace pinread
