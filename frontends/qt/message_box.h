#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace gui {

// AfxMessageBox(text, MB_OK): modal, with an OK button. Tests replace it, since a real box
// would wait for a click that never comes.
using MessageBoxFunction = std::function<void(QWidget* parent, const QString& text)>;

void show_message_box(QWidget* parent, const QString& text);
void set_message_box_function(MessageBoxFunction function);

}  // namespace gui
