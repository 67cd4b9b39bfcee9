#include "rackconf/settings_update.h"

#include <utility>

#include "app/settings.h"
#include "app/settings_edit.h"
#include "rackconf/setting_value.h"

namespace rackconf {

namespace {

// The value a key has before any section of the file, or fallback.
std::string value_in(const std::string& text, const std::string& file, const std::string& key,
                     const std::string& fallback) {
    program::Settings settings;
    program::read_settings_text(text, file, "", settings);
    const program::SettingValue* found = settings.find(key);
    return found != nullptr ? found->value : fallback;
}

}  // namespace

std::string update_settings(const std::string& text, const std::string& file,
                            const InstallerValues& given, const InstallerValues& defaults,
                            SettingsUpdate& update) {
    for (const auto& [key, value] :
         {std::pair{"port", given.port}, std::pair{"root", given.root}}) {
        std::string fault = value.empty() ? "" : value_fault(value);
        if (!fault.empty()) {
            return std::string(key) + " '" + value + "': " + fault;
        }
    }
    update.port = given.port.empty() ? value_in(text, file, "port", defaults.port) : given.port;
    update.root = given.root.empty() ? value_in(text, file, "root", defaults.root) : given.root;
    update.text = text;
    for (const auto& [key, value] :
         {std::pair{"port", update.port}, std::pair{"root", update.root}}) {
        std::string wrong = program::set_setting(update.text, file, key, value, update.text);
        if (!wrong.empty()) {
            return wrong;
        }
        std::string read_back = value_in(update.text, file, key, "");
        if (read_back != value) {
            return std::string(key) + " '" + value + "' прочтется из файла как '" + read_back + "'";
        }
    }
    update.changed = update.text != text;
    return "";
}

}  // namespace rackconf
