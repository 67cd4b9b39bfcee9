// campaign-db from the settings files, for the db commands given no --db. Only that key is
// read here; the programs check the files whole.

#include <cctype>

#include "app/settings.h"
#include "base/utf8_text.h"
#include "db/connection_string.h"
#include "files/durable_file.h"
#include "files/regular_file.h"
#include "ringlist/db/db_commands.h"

namespace ringlist {

namespace {

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// The file's campaign-db, from its general part or its [dialrun] part, the later line
// standing; "" when it has none.
std::string campaign_db_in(const std::string& text) {
    std::string section;
    std::string value;
    size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line =
            trimmed(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? text.size() : end + 1;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            section = trimmed(line.substr(1, line.size() - 2));
            continue;
        }
        size_t eq = line.find('=');
        if (eq != std::string::npos && trimmed(line.substr(0, eq)) == "campaign-db" &&
            (section.empty() || section == "dialrun")) {
            value = trimmed(line.substr(eq + 1));
        }
    }
    return value;
}

}  // namespace

std::string campaign_db_setting(const std::string& config, std::ostream& warn, std::string& error) {
    std::string found;
    for (const std::string& name : program::settings_files(config)) {
        std::filesystem::path file = core::utf8_path(name);
        std::error_code ec;
        if (name != config && !std::filesystem::exists(file, ec)) {
            continue;
        }
        std::string unread;
        std::string text = core::read_regular_file(file, unread, core::LARGEST_SETTINGS);
        if (!unread.empty()) {
            if (name == config) {
                error = name + ": файл настроек не открыт: " + unread;
                return "";
            }
            warn << "ringlist: " << name << ": " << unread << "\n";
            continue;
        }
        std::string value = campaign_db_in(text);
        if (value.empty()) {
            continue;
        }
        found = value;
        // A password in a file that others may read is theirs too.
        // psqlODBC takes either spelling, in any case.
        bool password = !core::connection_value(value, "Pwd").empty() ||
                        !core::connection_value(value, "Password").empty();
        if (password && (core::file_mode(file) & 0044) != 0) {
            warn << "ringlist: в " << name
                 << " пароль базы кампании (Pwd= или Password=), а файл могут читать другие: "
                    "chmod 600 "
                 << name << "\n";
        }
    }
    return found;
}

}  // namespace ringlist
