#include "pinread/pinread_controls.h"

namespace pinread {

station::FormControls form_controls() {
    station::FormControls c;
    const int mode_ids[] = {1030, 1036, 1037, 1038, 1039, 1040, 1041, 1042};
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        c.radio[k] = 1006 + k;
        c.channel_box[k] = 1014 + k;
        c.line_box[k] = 1022 + k;
        c.mode_text[k] = mode_ids[k];
    }
    c.status = 1003;
    c.log = 1004;
    c.buttons = {{1001, station::Button::start},
                 {1002, station::Button::stop},
                 {1044, station::Button::upload},
                 {1046, station::Button::check},
                 {1045, station::Button::permit}};
    return c;
}

}  // namespace pinread
