#include "pinread/pinread_controller.h"
#include "pinread/pinread_form_setup.h"

int main(int argc, char** argv) {
    return program::window_program_main(
        argc, argv, pinread::PINREAD_INFO,
        [](core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound) {
            return station::OwnedController<station::Controller>(
                new pinread::PinreadController(link, clock, std::move(drive), sound));
        },
        pinread::form_setup);
}
