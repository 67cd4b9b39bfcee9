#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>

#include "text_list_model.h"

#include "dialrun_window.h"
#include "ui_dialrun.h"

namespace dialrun {

namespace {

gui::FormControls controls() {
    gui::FormControls c;
    const int mode_ids[] = {1029, 1031, 1032, 1033, 1034, 1035, 1036, 1037};
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        c.radio[k] = 1001 + k;
        c.channel_box[k] = 1009 + k;
        c.line_box[k] = 1021 + k;
        c.mode_text[k] = mode_ids[k];
    }
    c.status = 1045;
    c.log = 1038;
    c.buttons = {{1042, core::Button::start},
                 {1043, core::Button::stop},
                 {1044, core::Button::upload},
                 {1059, core::Button::check},
                 {1060, core::Button::permit}};
    return c;
}

void set_text(gui::FormBinding& b, int id, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(b.control(id));
    if (edit->text() != text) {
        edit->setText(text);
    }
}

void refresh(gui::FormBinding& b, const core::Controller& controller) {
    const DialrunForm& f = static_cast<const DialrunController&>(controller).dialrun_form();
    set_text(b, 1046, QString::number(f.list_total));
    set_text(b, 1047, QString::number(f.notified_total));
    set_text(b, 1048, QString::number(f.not_notified_total));
    set_text(b, 1049, QString::number(f.wait_setting));
    set_text(b, 1051, QString::number(f.stop_setting));
    set_text(b, 1055, QString::number(f.record_total));
    set_text(b, 1061, QString::fromStdString(f.start_stamp));
    set_text(b, 1062, QString::fromStdString(f.stop_stamp));
    for (auto [id, value] : {std::pair{1050, f.wait_setting}, std::pair{1054, f.stop_setting}}) {
        auto* spin = qobject_cast<QSpinBox*>(b.control(id));
        QSignalBlocker quiet(spin);
        spin->setValue(static_cast<int>(value));
    }
    qobject_cast<QProgressBar*>(b.control(1000))->setValue(f.progress);
    for (int id : {1056, 1041, 1040}) {
        auto* view = qobject_cast<QListView*>(b.control(id));
        static_cast<gui::TextListModel*>(view->model())->refresh();
    }
}

gui::TextListModel* list_model(gui::FormBinding& b, int id, const core::TextList& list) {
    return new gui::TextListModel(list, qobject_cast<QListView*>(b.control(id)));
}

void connect_spins(gui::FormBinding& b, core::Controller& controller) {
    for (auto [id, command] : {std::pair{1050, "set-wait"}, std::pair{1054, "set-stop"}}) {
        auto* spin = qobject_cast<QSpinBox*>(b.control(id));
        QObject::connect(spin, &QSpinBox::valueChanged, spin, [&controller, command](int value) {
            controller.program_command(command, std::to_string(value));
        });
    }
}

}  // namespace

gui::WindowSetup window_setup() {
    gui::WindowSetup setup;
    setup.controls = controls();
    setup.make_form = gui::make_form<Ui::DialrunForm>;
    setup.refresh_extras = refresh;
    setup.connect_extras = [](gui::FormBinding& b, core::Controller& controller) {
        const DialrunForm& f = static_cast<DialrunController&>(controller).dialrun_form();
        list_model(b, 1056, f.record_list);
        list_model(b, 1041, f.notified_list);
        list_model(b, 1040, f.not_notified_list);
        connect_spins(b, controller);
    };
    return setup;
}

}  // namespace dialrun
