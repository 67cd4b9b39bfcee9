#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>

#include "qt/text_list_model.h"

#include "dialrun/dialrun_controls.h"
#include "dialrun/dialrun_form_setup.h"
#include "dialrun/dialrun_window.h"
#include "ui_dialrun.h"

namespace dialrun {

namespace {

void set_text(gui::FormBinding& b, int id, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(b.control(id));
    if (edit->text() != text) {
        edit->setText(text);
    }
}

void refresh(gui::FormBinding& b, const station::Controller& controller) {
    const DialrunForm& f = static_cast<const DialrunController&>(controller).dialrun_form();
    for (const auto& [id, text] : field_texts(f)) {
        set_text(b, id, QString::fromStdString(text));
    }
    for (auto [id, value] :
         {std::pair{WAIT_SPIN.id, f.wait_setting}, std::pair{STOP_SPIN.id, f.stop_setting}}) {
        auto* spin = qobject_cast<QSpinBox*>(b.control(id));
        QSignalBlocker quiet(spin);
        spin->setValue(static_cast<int>(value));
    }
    qobject_cast<QProgressBar*>(b.control(PROGRESS_ID))->setValue(f.progress);
    for (int id : {RECORD_LIST_ID, NOTIFIED_LIST_ID, NOT_NOTIFIED_LIST_ID}) {
        auto* view = qobject_cast<QListView*>(b.control(id));
        static_cast<gui::TextListModel*>(view->model())->refresh();
    }
}

gui::TextListModel* list_model(gui::FormBinding& b, int id, const station::TextList& list) {
    return new gui::TextListModel(list, qobject_cast<QListView*>(b.control(id)));
}

// The spins are up-down controls beside the edit that shows their value: only their arrows
// show, not an edit of their own clipped to a digit.
void show_arrows_only(QSpinBox* spin) {
    if (auto* edit = spin->findChild<QLineEdit*>()) {
        edit->hide();
    }
    spin->setFrame(false);
    spin->setStyleSheet("QSpinBox { background: transparent; }");
}

void connect_spins(gui::FormBinding& b, station::Controller& controller) {
    for (const SpinControl& control : {WAIT_SPIN, STOP_SPIN}) {
        auto* spin = qobject_cast<QSpinBox*>(b.control(control.id));
        show_arrows_only(spin);
        const char* command = control.command;
        QObject::connect(spin, &QSpinBox::valueChanged, spin, [&controller, command](int value) {
            controller.program_command(command, std::to_string(value));
        });
    }
}

}  // namespace

gui::WindowSetup window_setup() {
    gui::WindowSetup setup;
    setup.controls = form_controls();
    setup.make_form = gui::make_form<Ui::DialrunForm>;
    setup.refresh_extras = refresh;
    setup.connect_extras = [](gui::FormBinding& b, station::Controller& controller) {
        const DialrunForm& f = static_cast<DialrunController&>(controller).dialrun_form();
        list_model(b, RECORD_LIST_ID, f.record_list);
        list_model(b, NOTIFIED_LIST_ID, f.notified_list);
        list_model(b, NOT_NOTIFIED_LIST_ID, f.not_notified_list);
        connect_spins(b, controller);
    };
    return setup;
}

program::FormSetup form_setup(const station::Controller&) {
    return window_setup();
}

}  // namespace dialrun
