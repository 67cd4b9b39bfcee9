#include "inform/inform_window.h"
#include "inform/inform_controls.h"
#include "inform/inform_form_setup.h"

#include <QLineEdit>

#include "ui_inform.h"

namespace inform {

namespace {

void refresh_counters(gui::FormBinding& b, const station::Controller& controller) {
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
    setup.controls = form_controls();
    setup.make_form = gui::make_form<Ui::InformForm>;
    setup.refresh_extras = refresh_counters;
    return setup;
}

program::FormSetup form_setup(const station::Controller&) {
    return window_setup();
}

}  // namespace inform
