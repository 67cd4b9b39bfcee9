#include "dialrun/dialrun_controller.h"
#include "dialrun/dialrun_form_setup.h"

int main(int argc, char** argv) {
    return program::window_program_main(
        argc, argv, dialrun::DIALRUN_INFO,
        [](core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound) {
            return station::OwnedController<station::Controller>(
                new dialrun::DialrunController(link, clock, std::move(drive), sound));
        },
        dialrun::form_setup);
}
