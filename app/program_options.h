#pragma once

#include <optional>
#include <string>
#include <vector>

#include "clock.h"

namespace program {

// The command line, the same in the three programs.
struct ProgramOptions {
    std::string port;                     // --port; empty: the platform's COM1
    std::string root = ".";               // --root: stands for drive C:
    std::string rack_file;                // --simulate
    bool fast = false;                    // --fast: virtual time
    std::optional<core::LocalTime> time;  // --time: the PC clock's start under --fast
    std::string trace_file;               // --trace
    bool console = false;
    bool help = false;
    bool version = false;
};

struct OptionsParse {
    bool ok = false;
    ProgramOptions options;
    std::string error;  // one line, in Russian
};

OptionsParse parse_program_options(const std::vector<std::string>& args);
std::string program_usage(const std::string& executable, const std::string& title);

}  // namespace program
