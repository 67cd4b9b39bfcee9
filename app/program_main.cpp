#include "program_main.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "console_front_end.h"

namespace program {

namespace {

std::string executable_name(const char* argv0) {
    std::string name = argv0 != nullptr ? argv0 : "program";
    size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

int run_console(core::Controller& controller, Runtime& rt) {
    ConsoleFrontEnd console(controller, rt.clock(), rt.virtual_clock(), std::cout);
    controller.start(console, rt.port_error());
    int status = console.run(std::cin);
    if (controller.busy()) {
        // "quit" during work: as when the original's window closed, the workers end with
        // the process instead of being waited for.
        std::cout.flush();
        std::_Exit(status);
    }
    controller.close();
    return status;
}

}  // namespace

bool display_available() {
#ifdef _WIN32
    return true;
#else
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != 0) {
            return true;
        }
    }
    return false;
#endif
}

int program_main(int argc, char** argv, const core::ProgramInfo& info,
                 MakeController make_controller, RunWindow run_window) {
    std::string exe = executable_name(argc > 0 ? argv[0] : nullptr);
    OptionsParse parsed = parse_program_options(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok) {
        std::fprintf(stderr, "%s: %s\nСправка: %s --help\n", exe.c_str(), parsed.error.c_str(),
                     exe.c_str());
        return 2;
    }
    const ProgramOptions& options = parsed.options;
    if (options.version) {
        std::printf("%s Version 1.0\n", info.name);
        return 0;
    }
    if (options.help) {
        std::fputs(program_usage(exe, info.title).c_str(), stdout);
        return 0;
    }
    if (!options.console && !display_available()) {
        std::fprintf(stderr,
                     "%s: нет дисплея для окна (DISPLAY не задан). Без окна: %s --console "
                     "(справка: %s --help)\n",
                     exe.c_str(), exe.c_str(), exe.c_str());
        return 2;
    }
    std::string error;
    std::unique_ptr<Runtime> rt = Runtime::create(options, error);
    if (!rt) {
        std::fprintf(stderr, "%s: %s\n", exe.c_str(), error.c_str());
        return 2;
    }
    auto controller = make_controller(rt->link(), rt->clock(), rt->drive(), rt->sound());
    if (options.console) {
        return run_console(*controller, *rt);
    }
    return run_window(argc, argv, *controller, rt->port_error());
}

}  // namespace program
