#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace gui {

// A refusal or a notice: a modal box with the text and an OK button, captioned with the
// program's name. Tests replace it, since a real box
// would wait for a click that never comes.
using MessageBoxFunction = std::function<void(QWidget* parent, const QString& text)>;

void show_message_box(QWidget* parent, const QString& text);
void set_message_box_function(MessageBoxFunction function);

}  // namespace gui
