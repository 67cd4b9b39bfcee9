#include "app/window_main.h"

#ifdef _WIN32
#include "win32/program_window.h"
#endif

namespace program {

int window_program_main(int argc, char** argv, const station::ProgramInfo& info,
                        MakeController make_controller, MakeFormSetup form_setup) {
#ifdef _WIN32
    return program_main(
        argc, argv, info, std::move(make_controller),
        [form_setup](int&, char**, station::Controller& controller, const std::string& notes) {
            return win32::run_window(controller, notes, form_setup(controller));
        },
        [&info](int&, char**, const std::string& text) { win32::show_start_refusal(info, text); });
#else
    return program_main(
        argc, argv, info, std::move(make_controller),
        [form_setup](int& argc, char** argv, station::Controller& controller,
                     const std::string& notes) {
            return gui::run_window(argc, argv, controller, notes, form_setup(controller));
        },
        [&info](int& argc, char** argv, const std::string& text) {
            gui::show_start_refusal(argc, argv, info, text);
        });
#endif
}

}  // namespace program
