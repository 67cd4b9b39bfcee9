#pragma once

#include <map>
#include <string>
#include <vector>

namespace program {

// The defaults an installation gives the options that have a settings key. The programs store
// nothing themselves: these files are only read, in order, each overriding the one before:
// /etc/boardrack.conf, the user's $XDG_CONFIG_HOME/boardrack.conf (~/.config/boardrack.conf),
// then --config FILE. The command line overrides them all.
struct SettingValue {
    std::string value;
    std::string source;  // "/etc/boardrack.conf, строка 3", "параметр --port", "по умолчанию"
};

struct Settings {
    // By key; a key that nothing set is absent.
    std::map<std::string, SettingValue> values;
    const SettingValue* find(const std::string& key) const {
        auto at = values.find(key);
        return at == values.end() ? nullptr : &at->second;
    }
    // Files that are there but could not be read, with the reason: said at start.
    std::vector<std::pair<std::string, std::string>> unread;
};

// A setting's value as --show-settings and the journal show it: campaign-db without its
// password.
std::string shown_setting(const std::string& key, const std::string& value);

// The sections a file may have, one per program: "[dialrun]" lines apply to Dialrun only.
const std::vector<std::string>& settings_sections();

// Reads one file's text ("key = value" lines; "[program]" starts a section whose keys apply
// to that program only; "#" starts a comment at a line's start or after a blank; empty lines
// skipped; a UTF-8 byte-order mark skipped) into settings, for the program named by its
// section ("dialrun"). Returns "" or "FILE, строка N: what is wrong".
std::string read_settings_text(const std::string& text, const std::string& file,
                               const std::string& program, Settings& settings);

// The files to read: the system's and the user's (where they exist; on Windows the machine's
// %ProgramData%\Boardrack\boardrack.conf), then config if given.
std::vector<std::string> settings_files(const std::string& config);

// Reads them all; a --config file that cannot be read is an error, a missing system or user
// file is not, and one that is there but cannot be read goes to settings.unread.
std::string load_settings(const std::vector<std::string>& files, const std::string& config,
                          const std::string& program, Settings& settings);

}  // namespace program
