#pragma once

#include <QWidget>
#include <array>
#include <map>

#include "form/form_controls.h"
#include "form/form_model.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace gui {

// Finds the controls of a form by their controlId property and moves the form model into
// them whenever the model changes; nothing is ever read back.
class FormBinding {
  public:
    FormBinding(QWidget* form, const station::FormControls& controls);

    QWidget* control(int id) const;
    QListWidget* log() const { return log_; }
    const station::FormControls& controls() const { return controls_; }
    void refresh(const station::FormModel& model);

  private:
    QWidget* form_;
    station::FormControls controls_;
    std::map<int, QWidget*> by_id_;
    std::array<QRadioButton*, core::CHANNEL_COUNT> radios_{};
    std::array<QCheckBox*, core::CHANNEL_COUNT> channel_boxes_{};
    std::array<QCheckBox*, core::CHANNEL_COUNT> line_boxes_{};
    std::array<QLineEdit*, core::CHANNEL_COUNT> mode_texts_{};
    QLineEdit* status_ = nullptr;
    QListWidget* log_ = nullptr;
};

}  // namespace gui
