#include "inform/inform_controls.h"

namespace inform {

station::FormControls form_controls() {
    station::FormControls c;
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        c.radio[k] = 1018 + k;
        c.channel_box[k] = 1008 + k;
        c.line_box[k] = 1026 + k;
        c.mode_text[k] = 1034 + k;
    }
    c.status = 1043;
    c.log = 1042;
    c.buttons = {{1044, station::Button::start},           {1045, station::Button::stop},
                 {1046, station::Button::informer_upload}, {1047, station::Button::time_upload},
                 {1049, station::Button::check},           {1048, station::Button::permit}};
    return c;
}

}  // namespace inform
