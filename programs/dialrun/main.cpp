#include "dialrun/dialrun_controller.h"
#ifdef _WIN32
#include "dialrun/dialrun_dialog.h"
#include "win32/program_window.h"
#else
#include "dialrun/dialrun_window.h"
#endif
#include "app/program_main.h"

int main(int argc, char** argv) {
    return program::program_main(
        argc, argv, dialrun::DIALRUN_INFO,
        [](core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound) {
            return core::OwnedController<core::Controller>(
                new dialrun::DialrunController(link, clock, std::move(drive), sound));
        },
#ifdef _WIN32
        [](int&, char**, core::Controller& controller, const std::string& start_notes) {
            auto& program = static_cast<dialrun::DialrunController&>(controller);
            return win32::run_window(controller, start_notes, dialrun::dialog_setup(program));
        },
        [](int&, char**, const std::string& text) {
            win32::show_start_refusal(dialrun::DIALRUN_INFO, text);
        }
#else
        [](int& argc, char** argv, core::Controller& controller, const std::string& start_notes) {
            return gui::run_window(argc, argv, controller, start_notes, dialrun::window_setup());
        },
        [](int& argc, char** argv, const std::string& text) {
            gui::show_start_refusal(argc, argv, dialrun::DIALRUN_INFO, text);
        }
#endif
    );
}
