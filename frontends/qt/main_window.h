#pragma once

#include <QMainWindow>

#include "control/controller.h"

namespace gui {

// The frame: the form as its only content, the menus "Выход" and "?", no toolbar and no
// status bar.
class MainWindow : public QMainWindow {
  public:
    MainWindow(const station::ProgramInfo& info, QWidget* form);
    QWidget* form() const { return form_; }

  private:
    void show_about();

    const station::ProgramInfo& info_;
    QWidget* form_;
};

}  // namespace gui
