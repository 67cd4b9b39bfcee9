#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "time/clock.h"

namespace program {

// The folder that stands for drive C: when nothing says otherwise: C:\ itself on Windows,
// the current folder elsewhere.
inline std::string default_root() {
#ifdef _WIN32
    return "C:\\";
#else
    return ".";
#endif
}

// The command line, the same in the three programs.
struct ProgramOptions {
    std::string port;                   // --port; empty: the platform's COM1
    std::string root = default_root();  // --root: stands for drive C:
    // The settings keys given on the command line, with their values as written: they
    // override any settings file.
    std::map<std::string, std::string> given;
    int reconnect = 0;               // seconds between tries to open the port again
    std::string journal = "no";      // yes, a folder or no
    int journal_keep = 0;            // days of the journal kept; 0: all
    std::string status_file = "no";  // yes, a path or no
    // The keys one program alone reads (Dialrun's calling window), checked, as written.
    std::map<std::string, std::string> program_settings;
    std::string config;                   // --config FILE: read after the other settings
    bool no_settings = false;             // --no-settings: read no settings file
    bool show_settings = false;           // --show-settings: print the values and exit
    std::string rack_file;                // --simulate
    bool fast = false;                    // --fast: virtual time
    std::optional<core::LocalTime> time;  // --time: the PC clock's start under --fast
    std::string trace_file;               // --trace
    bool console = false;
    bool autostart = false;  // --autostart: the program presses its own "Старт"
    bool help = false;
    bool version = false;
};

struct OptionsParse {
    bool ok = false;
    ProgramOptions options;
    std::string error;  // one line, in Russian
};

OptionsParse parse_program_options(const std::vector<std::string>& args);

// The settings in force: the command line over the files over the defaults. A port from a
// file is not used with --simulate. Sets options.port and options.root to the values.
Settings apply_settings(ProgramOptions& options, const Settings& from_files);
// Settings of the retry rounds that cannot act without the rounds themselves (retry-gap,
// retry-marks given where retry is 1): what to refuse, "" when none is.
std::string retry_settings_without_retry(const Settings& in_force);
// Where a "yes, a path or no" setting puts its file: empty for "no", under_root in the folder
// of drive C: for "yes", else the path as given.
std::string setting_path(const std::string& value, const std::string& root,
                         const std::string& under_root);

// The program's name as its settings section and its files name it: "dialrun".
std::string program_key(const std::string& program_name);
std::string program_usage(const std::string& executable, const std::string& title);

}  // namespace program
