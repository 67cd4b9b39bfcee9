#include "qt/program_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>

#include "qt/message_box.h"

namespace gui {

ProgramWindow::ProgramWindow(station::Controller& controller, const std::string& start_notes,
                             const WindowSetup& setup)
    : start_notes_(start_notes),
      setup_(setup),
      window_(controller.info(), setup_.make_form()),
      binding_(window_.form(), setup_.controls),
      front_end_(controller, binding_, &window_, [this, &controller] {
          if (setup_.refresh_extras) {
              setup_.refresh_extras(binding_, controller);
          }
      }) {
    if (setup_.connect_extras) {
        setup_.connect_extras(binding_, controller);
    }
    controller.start(front_end_, start_notes);
}

void ProgramWindow::show_start_notes() {
    if (!start_notes_.empty()) {
        show_message_box(&window_, QString::fromUtf8(start_notes_));
    }
}

int run_window(int& argc, char** argv, station::Controller& controller,
               const std::string& start_notes, const WindowSetup& setup) {
    QApplication app(argc, argv);
    app.setApplicationName(QString::fromUtf8(controller.info().name));
    int status = 0;
    {
        ProgramWindow program_window(controller, start_notes, setup);
        program_window.window().show();
        QTimer::singleShot(0, &program_window.window(),
                           [&program_window] { program_window.show_start_notes(); });
        status = app.exec();
        controller.end_program(status);
    }
    return status;
}

void show_start_refusal(int& argc, char** argv, const station::ProgramInfo& info,
                        const std::string& text) {
    QApplication app(argc, argv);
    QMessageBox::critical(nullptr, QString::fromUtf8(info.title), QString::fromUtf8(text));
}

}  // namespace gui
