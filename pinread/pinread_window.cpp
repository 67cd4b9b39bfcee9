#include "pinread_window.h"

#include "ui_pinread.h"

namespace pinread {

gui::WindowSetup window_setup() {
    gui::WindowSetup setup;
    const int mode_ids[] = {1030, 1036, 1037, 1038, 1039, 1040, 1041, 1042};
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        setup.controls.radio[k] = 1006 + k;
        setup.controls.channel_box[k] = 1014 + k;
        setup.controls.line_box[k] = 1022 + k;
        setup.controls.mode_text[k] = mode_ids[k];
    }
    setup.controls.status = 1003;
    setup.controls.log = 1004;
    setup.controls.buttons = {{1001, core::Button::start},
                              {1002, core::Button::stop},
                              {1044, core::Button::upload},
                              {1046, core::Button::check},
                              {1045, core::Button::permit}};
    setup.make_form = gui::make_form<Ui::PinreadForm>;
    return setup;
}

}  // namespace pinread
