#include "dialrun/dialrun_dialog.h"
#include "dialrun/dialrun_form_setup.h"

#include "dialrun/dialrun_controls.h"
#include "win32/dialog_binding.h"

namespace dialrun {

namespace {

void refresh(win32::DialogBinding& b, const station::Controller& controller) {
    const DialrunForm& f = static_cast<const DialrunController&>(controller).dialrun_form();
    for (const auto& [id, text] : field_texts(f)) {
        b.set_text(id, text);
    }
    b.set_spin(WAIT_SPIN.id, static_cast<int>(f.wait_setting));
    b.set_spin(STOP_SPIN.id, static_cast<int>(f.stop_setting));
    b.set_progress(PROGRESS_ID, f.progress);
}

}  // namespace

win32::DialogSetup dialog_setup(const DialrunController& controller) {
    const DialrunForm& f = controller.dialrun_form();
    win32::DialogSetup setup;
    setup.controls = form_controls();
    setup.lists = {{RECORD_LIST_ID, &f.record_list},
                   {NOTIFIED_LIST_ID, &f.notified_list},
                   {NOT_NOTIFIED_LIST_ID, &f.not_notified_list}};
    for (const SpinControl& spin : {WAIT_SPIN, STOP_SPIN}) {
        setup.spins.push_back({spin.id, spin.command, spin.low, spin.high});
    }
    setup.refresh_extras = refresh;
    return setup;
}

program::FormSetup form_setup(const station::Controller& controller) {
    return dialog_setup(static_cast<const DialrunController&>(controller));
}

}  // namespace dialrun
