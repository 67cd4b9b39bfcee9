#pragma once

#include <functional>
#include <memory>

#include "control/controller.h"
#include "form/form_controls.h"
#include "qt/form_binding.h"
#include "qt/main_window.h"
#include "qt/qt_front_end.h"

#include <QWidget>

namespace gui {

// What a program gives the shared shell: its form and how to show its own members.
struct WindowSetup {
    station::FormControls controls;
    std::function<QWidget*()> make_form;
    // Moves the program's own members into its own controls; may be empty.
    std::function<void(FormBinding&, const station::Controller&)> refresh_extras;
    // Connects the program's own controls (Dialrun's spins); may be empty.
    std::function<void(FormBinding&, station::Controller&)> connect_extras;
};

// A new form widget from a form class that uic made of a .ui file.
template <typename UiForm>
QWidget* make_form() {
    auto* form = new QWidget;
    UiForm ui;
    ui.setupUi(form);
    return form;
}

// A program's window bound to its controller: the frame, the form and the front end. The
// controller (the port already open, the survey and the workers) starts as the window is made.
class ProgramWindow {
  public:
    // start_notes: the log's first lines (why the port did not open ...), else empty.
    ProgramWindow(station::Controller& controller, const std::string& start_notes,
                  const WindowSetup& setup);

    MainWindow& window() { return window_; }
    FormBinding& binding() { return binding_; }
    // The start notes in a box over the window, where a long line is read whole (the log box
    // shows only its start). Nothing when there are none.
    void show_start_notes();

  private:
    std::string start_notes_;
    WindowSetup setup_;
    MainWindow window_;
    FormBinding binding_;
    QtFrontEnd front_end_;
};

// The application around one program window, until the window is closed.
int run_window(int& argc, char** argv, station::Controller& controller,
               const std::string& start_notes, const WindowSetup& setup);

// Why the program cannot start, in a box before any window: an operator who started it from
// a menu sees no standard error.
void show_start_refusal(int& argc, char** argv, const station::ProgramInfo& info,
                        const std::string& text);

}  // namespace gui
