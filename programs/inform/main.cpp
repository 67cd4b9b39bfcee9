#include "inform/inform_controller.h"
#ifdef _WIN32
#include "inform/inform_dialog.h"
#include "win32/program_window.h"
#else
#include "inform/inform_window.h"
#endif
#include "app/program_main.h"

int main(int argc, char** argv) {
    return program::program_main(
        argc, argv, inform::INFORM_INFO,
        [](core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound) {
            return core::OwnedController<core::Controller>(
                new inform::InformController(link, clock, std::move(drive), sound));
        },
#ifdef _WIN32
        [](int&, char**, core::Controller& controller, const std::string& start_notes) {
            auto& program = static_cast<inform::InformController&>(controller);
            return win32::run_window(controller, start_notes, inform::dialog_setup(program));
        },
        [](int&, char**, const std::string& text) {
            win32::show_start_refusal(inform::INFORM_INFO, text);
        }
#else
        [](int& argc, char** argv, core::Controller& controller, const std::string& start_notes) {
            return gui::run_window(argc, argv, controller, start_notes, inform::window_setup());
        },
        [](int& argc, char** argv, const std::string& text) {
            gui::show_start_refusal(argc, argv, inform::INFORM_INFO, text);
        }
#endif
    );
}
