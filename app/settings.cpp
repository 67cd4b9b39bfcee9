#include "app/settings.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <sstream>

#include "app/option_table.h"
#include "base/plain_text.h"
#include "base/utf8_text.h"
#include "db/connection_string.h"
#include "files/regular_file.h"

namespace program {

using core::trimmed;

namespace {

// The value without a comment: "#" at its start or after a blank starts one, so that
// "port = /dev/ttyS0  # адаптер" is /dev/ttyS0 while a folder may still be named "стойка#2".
std::string without_comment(const std::string& value) {
    for (size_t at = value.find('#'); at != std::string::npos; at = value.find('#', at + 1)) {
        if (at == 0 || value[at - 1] == ' ' || value[at - 1] == '\t') {
            return trimmed(value.substr(0, at));
        }
    }
    return value;
}

}  // namespace

std::string shown_setting(const std::string& key, const std::string& value) {
    return key == "campaign-db" ? core::without_password(value) : value;
}

const std::vector<std::string>& settings_sections() {
    static const std::vector<std::string> sections = {"dialrun", "pinread", "inform"};
    return sections;
}

std::string read_settings_text(const std::string& text, const std::string& file,
                               const std::string& program, Settings& settings) {
    std::string section;  // "" before the first section: every program's
    // An editor on Windows may start the file with the UTF-8 byte-order mark.
    std::istringstream lines(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        std::string content = trimmed(line);
        if (content.empty() || content[0] == '#') {
            continue;
        }
        std::string where = file + ", строка " + std::to_string(number);
        if (content[0] == '[') {
            section = content.back() == ']' ? content.substr(1, content.size() - 2) : content;
            const std::vector<std::string>& known = settings_sections();
            if (std::find(known.begin(), known.end(), section) == known.end()) {
                return where + ": неизвестный раздел \"" + content +
                       "\" (есть [dialrun], [pinread] и [inform])";
            }
            continue;
        }
        size_t eq = content.find('=');
        if (eq == std::string::npos) {
            return where + ": нужно \"ключ = значение\"";
        }
        std::string key = trimmed(content.substr(0, eq));
        std::string value = without_comment(trimmed(content.substr(eq + 1)));
        if (value.empty()) {
            return where + ": у ключа \"" + key + "\" нет значения";
        }
        const OptionSpec* entry = settings_entry(key);
        if (entry == nullptr) {
            return where + ": неизвестный ключ \"" + key + "\" (есть " + settings_keys_text() + ")";
        }
        // A value is checked where it is written, whichever program reads the file.
        std::string wrong = check_setting(*entry, value);
        if (!wrong.empty()) {
            return where + ": " + wrong;
        }
        if (section.empty() || section == program) {
            settings.values[key] = {value, where};
        }
    }
    return {};
}

std::vector<std::string> settings_files(const std::string& config) {
    std::vector<std::string> files;
#ifdef _WIN32
    // The machine's own, written by the installer: %ProgramData%\Boardrack\boardrack.conf.
    const wchar_t* data = _wgetenv(L"ProgramData");
    if (data != nullptr && *data != 0) {
        files.push_back(core::from_utf16(data, wcslen(data)) + "\\Boardrack\\boardrack.conf");
    }
#else
    files.push_back("/etc/boardrack.conf");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg != nullptr && *xdg != 0) {
        files.push_back(std::string(xdg) + "/boardrack.conf");
    } else if (home != nullptr && *home != 0) {
        files.push_back(std::string(home) + "/.config/boardrack.conf");
    }
#endif
    if (!config.empty()) {
        files.push_back(config);
    }
    return files;
}

std::string load_settings(const std::vector<std::string>& files, const std::string& config,
                          const std::string& program, Settings& settings) {
    for (const std::string& file : files) {
        std::string error;
        std::string text =
            core::read_regular_file(core::utf8_path(file), error, core::LARGEST_SETTINGS);
        if (!error.empty()) {
            if (file == config) {
                return file + ": файл настроек не открыт: " + error;
            }
            std::error_code ec;
            // There, but not for this user, not a file, or a link that leads nowhere.
            if (std::filesystem::exists(core::utf8_path(file), ec) || ec) {
                settings.unread.push_back({file, error});
            }
            continue;
        }
        error = read_settings_text(text, file, program, settings);
        if (!error.empty()) {
            return error;
        }
    }
    return {};
}

}  // namespace program
