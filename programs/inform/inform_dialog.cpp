#include "inform/inform_dialog.h"
#include "inform/inform_form_setup.h"

#include "inform/inform_controls.h"
#include "win32/dialog_binding.h"

namespace inform {

win32::DialogSetup dialog_setup(const InformController&) {
    win32::DialogSetup setup;
    setup.controls = form_controls();
    setup.refresh_extras = [](win32::DialogBinding& b, const station::Controller& controller) {
        const InformForm& f = static_cast<const InformController&>(controller).inform_form();
        for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
            b.set_text(COUNTER_IDS[k], std::to_string(f.call_count[k]));
        }
    };
    return setup;
}

program::FormSetup form_setup(const station::Controller& controller) {
    return dialog_setup(static_cast<const InformController&>(controller));
}

}  // namespace inform
