#include "dialrun_controller.h"
#include "dialrun_window.h"
#include "program_main.h"

int main(int argc, char** argv) {
    return program::program_main(
        argc, argv, dialrun::DIALRUN_INFO,
        [](core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound) {
            return std::make_unique<dialrun::DialrunController>(link, clock, std::move(drive),
                                                                sound);
        },
        [](int& argc, char** argv, core::Controller& controller, const std::string& start_notes) {
            return gui::run_window(argc, argv, controller, start_notes, dialrun::window_setup());
        },
        [](int& argc, char** argv, const std::string& text) {
            gui::show_start_refusal(argc, argv, dialrun::DIALRUN_INFO, text);
        });
}
