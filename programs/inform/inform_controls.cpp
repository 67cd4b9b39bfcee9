#include "inform/inform_controls.h"

namespace inform {

core::FormControls form_controls() {
    core::FormControls c;
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        c.radio[k] = 1018 + k;
        c.channel_box[k] = 1008 + k;
        c.line_box[k] = 1026 + k;
        c.mode_text[k] = 1034 + k;
    }
    c.status = 1043;
    c.log = 1042;
    c.buttons = {{1044, core::Button::start},           {1045, core::Button::stop},
                 {1046, core::Button::informer_upload}, {1047, core::Button::time_upload},
                 {1049, core::Button::check},           {1048, core::Button::permit}};
    return c;
}

}  // namespace inform
