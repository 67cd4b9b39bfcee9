#include "pinread/pinread_controller.h"
#ifdef _WIN32
#include "pinread/pinread_dialog.h"
#include "win32/program_window.h"
#else
#include "pinread/pinread_window.h"
#endif
#include "app/program_main.h"

int main(int argc, char** argv) {
    return program::program_main(
        argc, argv, pinread::PINREAD_INFO,
        [](core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound) {
            return core::OwnedController<core::Controller>(
                new pinread::PinreadController(link, clock, std::move(drive), sound));
        },
#ifdef _WIN32
        [](int&, char**, core::Controller& controller, const std::string& start_notes) {
            auto& program = static_cast<pinread::PinreadController&>(controller);
            return win32::run_window(controller, start_notes, pinread::dialog_setup(program));
        },
        [](int&, char**, const std::string& text) {
            win32::show_start_refusal(pinread::PINREAD_INFO, text);
        }
#else
        [](int& argc, char** argv, core::Controller& controller, const std::string& start_notes) {
            return gui::run_window(argc, argv, controller, start_notes, pinread::window_setup());
        },
        [](int& argc, char** argv, const std::string& text) {
            gui::show_start_refusal(argc, argv, pinread::PINREAD_INFO, text);
        }
#endif
    );
}
