#include "inform_controller.h"
#include "inform_window.h"
#include "program_main.h"

int main(int argc, char** argv) {
    return program::program_main(
        argc, argv, inform::INFORM_INFO,
        [](core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound) {
            return std::make_unique<inform::InformController>(link, clock, std::move(drive), sound);
        },
        [](int& argc, char** argv, core::Controller& controller, const std::string& start_notes) {
            return gui::run_window(argc, argv, controller, start_notes, inform::window_setup());
        },
        [](int& argc, char** argv, const std::string& text) {
            gui::show_start_refusal(argc, argv, inform::INFORM_INFO, text);
        });
}
