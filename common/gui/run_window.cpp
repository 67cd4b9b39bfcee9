#include "run_window.h"

#include <QApplication>
#include <QFont>
#include <cstdlib>

#include "main_window.h"
#include "qt_front_end.h"

namespace gui {

int run_window(int& argc, char** argv, core::Controller& controller, program::Runtime& runtime,
               const WindowSpec& spec) {
    QApplication app(argc, argv);
    app.setApplicationName(QString::fromUtf8(controller.info().name));
    QWidget* form = spec.make_form();
    MainWindow window(controller.info(), form);
    FormBinding binding(form, spec.controls);
    if (spec.connect_extras) {
        spec.connect_extras(binding, controller);
    }
    QtFrontEnd front_end(controller, binding, &window, [&] {
        if (spec.refresh_extras) {
            spec.refresh_extras(binding, controller);
        }
    });
    controller.start(front_end, runtime.port_error());
    window.show();
    int status = app.exec();
    if (controller.busy()) {
        std::_Exit(status);  // the workers end with the process, as the original's did
    }
    controller.close();
    return status;
}

}  // namespace gui
