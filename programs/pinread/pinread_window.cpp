#include "pinread/pinread_window.h"
#include "pinread/pinread_controls.h"
#include "pinread/pinread_form_setup.h"

#include "ui_pinread.h"

namespace pinread {

gui::WindowSetup window_setup() {
    gui::WindowSetup setup;
    setup.controls = form_controls();
    setup.make_form = gui::make_form<Ui::PinreadForm>;
    return setup;
}

program::FormSetup form_setup(const station::Controller&) {
    return window_setup();
}

}  // namespace pinread
