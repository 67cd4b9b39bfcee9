#include "dialrun_dialog.h"

#include "dialog_binding.h"
#include "dialrun_controls.h"

namespace dialrun {

namespace {

void refresh(win32::DialogBinding& b, const core::Controller& controller) {
    const DialrunForm& f = static_cast<const DialrunController&>(controller).dialrun_form();
    b.set_text(LIST_TOTAL_ID, std::to_string(f.list_total));
    b.set_text(NOTIFIED_TOTAL_ID, std::to_string(f.notified_total));
    b.set_text(NOT_NOTIFIED_TOTAL_ID, std::to_string(f.not_notified_total));
    b.set_text(WAIT_TEXT_ID, std::to_string(f.wait_setting));
    b.set_text(STOP_TEXT_ID, std::to_string(f.stop_setting));
    b.set_text(RECORD_TOTAL_ID, std::to_string(f.record_total));
    b.set_text(START_STAMP_ID, f.start_stamp);
    b.set_text(STOP_STAMP_ID, f.stop_stamp);
    b.set_spin(WAIT_SPIN_ID, static_cast<int>(f.wait_setting));
    b.set_spin(STOP_SPIN_ID, static_cast<int>(f.stop_setting));
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
    setup.spins = {{WAIT_SPIN_ID, "set-wait", WAIT_LOW, WAIT_HIGH},
                   {STOP_SPIN_ID, "set-stop", STOP_LOW, STOP_HIGH}};
    setup.refresh_extras = refresh;
    return setup;
}

}  // namespace dialrun
