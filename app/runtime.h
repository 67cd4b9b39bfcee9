#pragma once

#include <memory>
#include <string>

#include "app/board_line.h"
#include "app/program_options.h"
#include "base/utf8_text.h"
#include "files/drive_paths.h"
#include "sound/sound.h"
#include "time/real_clock.h"
#include "time/virtual_clock.h"

namespace program {

// What the options choose underneath a program: the clock, the port or the simulated rack,
// the wire trace and drive C.
class Runtime {
  public:
    // Null, with error set, for a rack file or trace file that cannot be used.
    static std::unique_ptr<Runtime> create(const ProgramOptions& options, std::string& error);

    core::Clock& clock() {
        if (virtual_clock_) {
            return *virtual_clock_;
        }
        return *real_clock_;
    }
    core::VirtualClock* virtual_clock() { return virtual_clock_.get(); }
    core::Link& link() { return *line_.link; }
    core::DriveC drive() const { return core::DriveC(core::utf8_path(root_)); }
    // The log line for a port that could not be opened; empty when it opened.
    const std::string& port_error() const { return line_.port_error; }
    sim::Rack* rack() { return line_.rack.get(); }
    core::Sound& sound() { return *sound_; }

  private:
    Runtime() = default;

    std::unique_ptr<core::RealClock> real_clock_;
    std::unique_ptr<core::VirtualClock> virtual_clock_;
    BoardLine line_;
    std::unique_ptr<core::Sound> sound_;
    std::string root_;
};

}  // namespace program
