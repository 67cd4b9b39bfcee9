#pragma once

#include <string>
#include <vector>

#include "base/option_rows.h"

namespace program {

struct ProgramOptions;

// One option of the three programs, as every place that knows options reads it: the parser,
// --help (where "{port}" and "{root}" stand for the platform's defaults), the settings files'
// keys and --show-settings.
struct OptionSpec {
    core::OptionRow row;
    // Its key in the settings files ("port"); nullptr where only the command line sets it.
    const char* settings_key = nullptr;
    // Its value when nothing sets it, as --show-settings shows it; nullptr for port and root,
    // whose defaults are the platform's.
    const char* default_value = nullptr;
    // The one program that reads it ("dialrun"); nullptr for all three. Given to another on
    // the command line it is refused; in a settings file's common part, ignored by the others.
    const char* only_program = nullptr;
    // What it sets: a flag, a text kept as given, or a value taken by a function of its own
    // that returns what is wrong with it, or "".
    bool ProgramOptions::*flag = nullptr;
    std::string ProgramOptions::*text = nullptr;
    std::string (*take)(ProgramOptions& options, const std::string& value) = nullptr;
};

// In the order --help lists them.
const std::vector<OptionSpec>& program_option_table();

// The settings files' keys, in the table's order.
std::vector<std::string> settings_keys();

// Sets what entry sets from value (ignored for a flag); returns what is wrong, or "".
std::string apply_option(const OptionSpec& entry, ProgramOptions& options,
                         const std::string& value);

// The entry of a settings key; null for a key the files cannot set.
const OptionSpec* settings_entry(const std::string& key);

// What is wrong with value for entry's key, or "".
std::string check_setting(const OptionSpec& entry, const std::string& value);

// The keys as a sentence names them: "port и root".
std::string settings_keys_text();

// The table's rows, for the parser.
std::vector<core::OptionRow> option_rows();

// The options' part of --help.
std::string options_help();

}  // namespace program
