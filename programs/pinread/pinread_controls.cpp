#include "pinread/pinread_controls.h"

namespace pinread {

core::FormControls form_controls() {
    core::FormControls c;
    const int mode_ids[] = {1030, 1036, 1037, 1038, 1039, 1040, 1041, 1042};
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        c.radio[k] = 1006 + k;
        c.channel_box[k] = 1014 + k;
        c.line_box[k] = 1022 + k;
        c.mode_text[k] = mode_ids[k];
    }
    c.status = 1003;
    c.log = 1004;
    c.buttons = {{1001, core::Button::start},
                 {1002, core::Button::stop},
                 {1044, core::Button::upload},
                 {1046, core::Button::check},
                 {1045, core::Button::permit}};
    return c;
}

}  // namespace pinread
