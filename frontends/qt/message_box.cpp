#include "qt/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace gui {

namespace {

MessageBoxFunction& current_function() {
    static MessageBoxFunction function;
    return function;
}

}  // namespace

void show_message_box(QWidget* parent, const QString& text) {
    if (current_function()) {
        current_function()(parent, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

void set_message_box_function(MessageBoxFunction function) {
    current_function() = std::move(function);
}

}  // namespace gui
