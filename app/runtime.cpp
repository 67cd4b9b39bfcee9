#include "app/runtime.h"

#include "sim/sim_sound.h"
#if defined(HAVE_SDL2)
#include "sound/sound_sdl.h"
#elif defined(_WIN32)
#include "sound/sound_winmm.h"
#endif

namespace program {

namespace {

// With the simulated rack the boards "record" what is played, on the program's clock;
// otherwise the real player.
std::unique_ptr<core::Sound> make_sound(sim::Rack* rack, core::Clock& clock) {
    if (rack != nullptr) {
        return std::make_unique<sim::SimSound>(*rack, clock);
    }
#if defined(HAVE_SDL2)
    return std::make_unique<core::SdlSound>();
#elif defined(_WIN32)
    return std::make_unique<core::WinmmSound>();
#else
    return std::make_unique<core::NoSound>("программа собрана без проигрывателя звука (SDL2)");
#endif
}

}  // namespace

std::unique_ptr<Runtime> Runtime::create(const ProgramOptions& options, std::string& error) {
    std::unique_ptr<Runtime> rt(new Runtime());
    rt->root_ = options.root;
    if (options.fast) {
        core::RealClock now;
        rt->virtual_clock_ = std::make_unique<core::VirtualClock>(
            options.time.value_or(now.local_time()), core::VirtualClock::Zone::local);
    } else {
        rt->real_clock_ = std::make_unique<core::RealClock>();
    }
    core::Clock& clock = rt->clock();
    // Over a port that would not open the program goes on and its survey finds no boards; the
    // log says why.
    LineChoice choice{options.rack_file, options.port, options.trace_file};
    choice.reopenable = options.reconnect > 0;
    rt->line_ = open_board_line(choice, clock);
    switch (rt->line_.fault) {
        case BoardLine::Fault::none:
            break;
        case BoardLine::Fault::trace_file:
            error = options.trace_file + ": файл трассы не создан: " + rt->line_.fault_text;
            return nullptr;
        default:
            error = rt->line_.fault_text;
            return nullptr;
    }
    rt->sound_ = make_sound(rt->line_.rack.get(), clock);
    return rt;
}

}  // namespace program
