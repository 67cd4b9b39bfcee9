#include "inform_window.h"

#include <QLineEdit>

#include "ui_inform.h"

namespace inform {

namespace {

// The message counters; there is no control 1055.
const int COUNTER_IDS[core::CHANNEL_COUNT] = {1050, 1051, 1052, 1053, 1054, 1056, 1057, 1058};

void refresh_counters(gui::FormBinding& b, const core::Controller& controller) {
    const InformForm& f = static_cast<const InformController&>(controller).inform_form();
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        auto* edit = qobject_cast<QLineEdit*>(b.control(COUNTER_IDS[k]));
        QString text = QString::number(f.call_count[k]);
        if (edit->text() != text) {
            edit->setText(text);
        }
    }
}

}  // namespace

gui::WindowSpec window_spec() {
    gui::WindowSpec spec;
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        spec.controls.radio[k] = 1018 + k;
        spec.controls.channel_box[k] = 1008 + k;
        spec.controls.line_box[k] = 1026 + k;
        spec.controls.mode_text[k] = 1034 + k;
    }
    spec.controls.status = 1043;
    spec.controls.log = 1042;
    spec.controls.buttons = {
        {1044, core::Button::start},           {1045, core::Button::stop},
        {1046, core::Button::informer_upload}, {1047, core::Button::time_upload},
        {1049, core::Button::check},           {1048, core::Button::permit}};
    spec.make_form = gui::make_form<Ui::InformForm>;
    spec.refresh_extras = refresh_counters;
    return spec;
}

}  // namespace inform
