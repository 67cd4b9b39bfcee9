#include "app/runtime.h"

#include "link/closed_port.h"
#include "link/serial_port.h"
#include "sim/sim_sound.h"
#include "sim/sim_transport.h"
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
        rt->virtual_clock_ =
            std::make_unique<core::VirtualClock>(options.time.value_or(now.local_time()));
    } else {
        rt->real_clock_ = std::make_unique<core::RealClock>();
    }
    core::Clock& clock = rt->clock();
    if (!options.rack_file.empty()) {
        sim::RackParse parsed = sim::load_rack_file(options.rack_file);
        if (!parsed.ok) {
            error = parsed.error;
            return nullptr;
        }
        rt->rack_ = std::make_unique<sim::Rack>(parsed.rack);
        rt->port_ = std::make_unique<sim::SimTransport>(*rt->rack_, clock);
    } else {
        core::OpenedPort opened = core::open_serial_port(options.port, clock);
        if (opened.port) {
            rt->port_ = std::move(opened.port);
        } else {
            // The program goes on and its survey finds no boards; the log says why.
            rt->port_error_ = core::port_not_opened_text(options.port, opened.error);
            rt->port_ = std::make_unique<core::ClosedPort>(options.port, clock);
        }
    }
    if (!options.trace_file.empty()) {
        rt->trace_ = std::make_unique<core::WireTrace>(clock);
        std::string why = rt->trace_->open(options.trace_file);
        if (!why.empty()) {
            error = options.trace_file + ": файл трассы не создан: " + why;
            return nullptr;
        }
    }
    rt->link_ = std::make_unique<core::Link>(*rt->port_, clock, rt->trace_.get());
    rt->sound_ = make_sound(rt->rack_.get(), clock);
    return rt;
}

}  // namespace program
