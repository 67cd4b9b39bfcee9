#pragma once

#include <string>

namespace rackconf {

// The installers pass the port and the folder as the last words of rackconf's command line,
// "--installer PORT|FOLDER", taken byte for byte: no quote and no backslash is read there,
// so a folder ending in "\" (C:\Rack\) cannot swallow a quote and no character of a path can
// leave its value. Windows file and port names never hold "|". An empty part keeps what the
// settings file says.
struct InstallerValues {
    std::string port;
    std::string root;
};

// The value of --installer in a raw command line: everything after its first " --installer ",
// or false where there is none.
bool installer_tail(const std::string& command_line, std::string& tail);

// The port and the folder of a value "PORT|FOLDER". Returns "" or what is wrong.
std::string split_installer_values(const std::string& value, InstallerValues& values);

}  // namespace rackconf
