#include "inform/inform_controller.h"
#include "inform/inform_form_setup.h"

int main(int argc, char** argv) {
    return program::window_program_main(
        argc, argv, inform::INFORM_INFO,
        [](core::Link& link, core::Clock& clock, core::DriveC drive, core::Sound& sound) {
            return station::OwnedController<station::Controller>(
                new inform::InformController(link, clock, std::move(drive), sound));
        },
        inform::form_setup);
}
