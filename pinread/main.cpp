#include "pinread_controller.h"
#include "pinread_window.h"
#include "program_main.h"

int main(int argc, char** argv) {
    return program::program_main(
        argc, argv, pinread::PINREAD_INFO,
        [](core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound) {
            return std::make_unique<pinread::PinreadController>(link, clock, std::move(drive),
                                                                sound);
        },
        [](int& argc, char** argv, core::Controller& controller, const std::string& start_notes) {
            return gui::run_window(argc, argv, controller, start_notes, pinread::window_setup());
        },
        [](int& argc, char** argv, const std::string& text) {
            gui::show_start_refusal(argc, argv, pinread::PINREAD_INFO, text);
        });
}
