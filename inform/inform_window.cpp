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

gui::WindowSetup window_setup() {
    gui::WindowSetup setup;
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        setup.controls.radio[k] = 1018 + k;
        setup.controls.channel_box[k] = 1008 + k;
        setup.controls.line_box[k] = 1026 + k;
        setup.controls.mode_text[k] = 1034 + k;
    }
    setup.controls.status = 1043;
    setup.controls.log = 1042;
    setup.controls.buttons = {
        {1044, core::Button::start},           {1045, core::Button::stop},
        {1046, core::Button::informer_upload}, {1047, core::Button::time_upload},
        {1049, core::Button::check},           {1048, core::Button::permit}};
    setup.make_form = gui::make_form<Ui::InformForm>;
    setup.refresh_extras = refresh_counters;
    return setup;
}

}  // namespace inform
