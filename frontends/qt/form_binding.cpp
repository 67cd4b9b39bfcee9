#include "qt/form_binding.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QVariant>

namespace gui {

namespace {

template <typename T>
T* find_control(const std::map<int, QWidget*>& by_id, int id) {
    auto it = by_id.find(id);
    T* control = it == by_id.end() ? nullptr : qobject_cast<T*>(it->second);
    if (control == nullptr) {
        qFatal("form: control %d is missing or of the wrong kind", id);
    }
    return control;
}

}  // namespace

FormBinding::FormBinding(QWidget* form, const station::FormControls& controls)
    : form_(form), controls_(controls) {
    for (QWidget* w : form->findChildren<QWidget*>()) {
        QVariant id = w->property("controlId");
        if (id.isValid()) {
            by_id_[id.toInt()] = w;
        }
    }
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        radios_[k] = find_control<QRadioButton>(by_id_, controls.radio[k]);
        channel_boxes_[k] = find_control<QCheckBox>(by_id_, controls.channel_box[k]);
        line_boxes_[k] = find_control<QCheckBox>(by_id_, controls.line_box[k]);
        mode_texts_[k] = find_control<QLineEdit>(by_id_, controls.mode_text[k]);
    }
    status_ = find_control<QLineEdit>(by_id_, controls.status);
    log_ = find_control<QListWidget>(by_id_, controls.log);
}

QWidget* FormBinding::control(int id) const {
    auto it = by_id_.find(id);
    return it == by_id_.end() ? nullptr : it->second;
}

void FormBinding::refresh(const station::FormModel& model) {
    status_->setText(QString::fromStdString(model.status_text));
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        // A radio group with no button on (-1) needs exclusivity off while it is cleared.
        radios_[k]->setAutoExclusive(false);
        radios_[k]->setChecked(model.channel_radio == k);
        radios_[k]->setAutoExclusive(true);
        channel_boxes_[k]->setChecked(model.channel_box[k] != 0);
        line_boxes_[k]->setChecked(model.line_box[k] != 0);
        QString text = QString::fromStdString(model.mode_text[k]);
        if (mode_texts_[k]->text() != text) {
            mode_texts_[k]->setText(text);
        }
    }
}

}  // namespace gui
