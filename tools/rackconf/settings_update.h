#pragma once

#include <string>

#include "rackconf/installer_values.h"

namespace rackconf {

// The settings file as rackconf leaves it: the port and the folder in force, and the file's
// new text (changed false: the file stays as it is).
struct SettingsUpdate {
    std::string port;
    std::string root;
    std::string text;
    bool changed = false;
};

// Sets the given port and folder in text, the settings file's bytes ("" where there is no
// file). An empty value given keeps the file's, else takes the default. Every byte of the
// file but the two lines is kept. Refused, before anything is written, where a value given
// is one the file could not hold (value_fault), where the file itself is refused as the
// programs refuse it, or where a value would read back otherwise. Returns "" or the refusal.
std::string update_settings(const std::string& text, const std::string& file,
                            const InstallerValues& given, const InstallerValues& defaults,
                            SettingsUpdate& update);

}  // namespace rackconf
