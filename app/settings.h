#pragma once

#include <string>
#include <vector>

namespace program {

// The defaults an installation gives --port and --root. The programs store nothing
// themselves: these files are only read, in order, each overriding the one before:
// /etc/boardrack.conf, the user's $XDG_CONFIG_HOME/boardrack.conf (~/.config/boardrack.conf),
// then --config FILE. The command line overrides them all.
struct SettingValue {
    std::string value;
    std::string source;  // "/etc/boardrack.conf, строка 3", "параметр --port", "по умолчанию"
};

struct Settings {
    SettingValue port;
    SettingValue root;
    // The value of a settings key; null for a key the files cannot set.
    SettingValue* find(const std::string& key) {
        return key == "port" ? &port : key == "root" ? &root : nullptr;
    }
    const SettingValue* find(const std::string& key) const {
        return const_cast<Settings*>(this)->find(key);
    }
    // Files that are there but could not be read, with the reason: said at start.
    std::vector<std::pair<std::string, std::string>> unread;
};

// Reads one file's text ("key = value" lines; "#" starts a comment at a line's start or after
// a blank; empty lines skipped; a UTF-8 byte-order mark skipped) into settings. Returns "" or
// "FILE, строка N: what is wrong".
std::string read_settings_text(const std::string& text, const std::string& file,
                               Settings& settings);

// The files to read: the system's and the user's (where they exist), then config if given.
std::vector<std::string> settings_files(const std::string& config);

// Reads them all; a --config file that cannot be read is an error, a missing system or user
// file is not, and one that is there but cannot be read goes to settings.unread.
std::string load_settings(const std::vector<std::string>& files, const std::string& config,
                          Settings& settings);

}  // namespace program
