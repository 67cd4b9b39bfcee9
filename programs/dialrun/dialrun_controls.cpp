#include "dialrun/dialrun_controls.h"

namespace dialrun {

station::FormControls form_controls() {
    station::FormControls c;
    const int mode_ids[] = {1029, 1031, 1032, 1033, 1034, 1035, 1036, 1037};
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        c.radio[k] = 1001 + k;
        c.channel_box[k] = 1009 + k;
        c.line_box[k] = 1021 + k;
        c.mode_text[k] = mode_ids[k];
    }
    c.status = 1045;
    c.log = 1038;
    c.buttons = {{1042, station::Button::start},
                 {1043, station::Button::stop},
                 {1044, station::Button::upload},
                 {1059, station::Button::check},
                 {1060, station::Button::permit}};
    return c;
}

std::vector<std::pair<int, std::string>> field_texts(const DialrunForm& f) {
    return {{1046, std::to_string(f.list_total)},
            {1047, std::to_string(f.notified_total)},
            {1048, std::to_string(f.not_notified_total)},
            {1049, std::to_string(f.wait_setting)},
            {1051, std::to_string(f.stop_setting)},
            {1055, std::to_string(f.record_total)},
            {1061, f.start_stamp},
            {1062, f.stop_stamp}};
}

}  // namespace dialrun
