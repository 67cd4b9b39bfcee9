#include "app/journal_file.h"

#include <filesystem>

#include "app/option_table.h"
#include "base/system_reason.h"
#include "base/utf8_text.h"
#include "files/durable_file.h"

namespace program {

std::unique_ptr<station::Journal> open_journal(const ProgramOptions& options,
                                               const std::string& program, const core::Clock& clock,
                                               const station::JournalRules& rules,
                                               const core::DriveC& drive, std::string& error) {
    std::string folder = setting_path(options.journal, options.root, "journal");
    if (folder.empty()) {
        return nullptr;
    }
    std::error_code ec;
    std::filesystem::create_directories(core::utf8_path(folder), ec);
    if (ec || !std::filesystem::is_directory(core::utf8_path(folder), ec)) {
        error = "папка журнала " + folder +
                " не создана: " + core::system_reason(ec ? ec.value() : ENOTDIR);
        return nullptr;
    }
    unsigned mode = core::file_mode(drive.resolve("c:\\Ring.TXT"));
    auto journal = std::make_unique<station::Journal>(core::utf8_path(folder), program, clock,
                                                      rules, mode != 0 ? mode : 0640);
    journal->keep_days(options.journal_keep);
    return journal;
}

void journal_settings(station::Journal& journal, const Settings& in_force) {
    for (const std::string& key : settings_keys()) {
        const SettingValue* v = in_force.find(key);
        if (v != nullptr) {
            journal.write("settings",
                          key + " = " + shown_setting(key, v->value) + "   (" + v->source + ")");
        }
    }
}

}  // namespace program
