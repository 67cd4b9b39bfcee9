#include "app/option_table.h"

#include "app/program_options.h"
#include "link/serial_port.h"

#include <array>
#include <cstdlib>
#include <filesystem>

#include "base/plain_text.h"
#include "base/utf8_text.h"
#include "campaign/calling_window.h"
#include "campaign/retry_rules.h"

namespace program {

namespace {

// Where an option's help starts: the column after "  --simulate RACKFILE  ".
constexpr size_t HELP_COLUMN = 23;

std::string set_port(ProgramOptions& o, const std::string& value) {
    o.port = value;
    return {};
}

std::string set_root(ProgramOptions& o, const std::string& value) {
    o.root = value;
    return {};
}

std::string set_reconnect(ProgramOptions& o, const std::string& value) {
    long seconds = 0;
    if (!core::whole_number(value, 0, 86400, seconds)) {
        return "reconnect: нужно число секунд от 0 до 86400, а не '" + value + "'";
    }
    o.reconnect = static_cast<int>(seconds);
    return {};
}

// "yes" or "no" for the words a settings file may say them with, in any case; anything else
// is a path, as written.
std::string yes_or_no(const std::string& value) {
    std::string word;
    for (char c : value) {
        word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    for (const char* yes : {"yes", "true", "on", "1"}) {
        if (word == yes) {
            return "yes";
        }
    }
    for (const char* no : {"no", "false", "off", "0"}) {
        if (word == no) {
            return "no";
        }
    }
    return value;
}

std::string set_journal(ProgramOptions& o, const std::string& value) {
    o.journal = yes_or_no(value);
    return {};
}

std::string set_journal_keep(ProgramOptions& o, const std::string& value) {
    long days = 0;
    if (!core::whole_number(value, 0, 36500, days)) {
        return "journal-keep: нужно число дней от 0 до 36500, а не '" + value + "'";
    }
    o.journal_keep = static_cast<int>(days);
    return {};
}

std::string set_status_file(ProgramOptions& o, const std::string& value) {
    o.status_file = yes_or_no(value);
    std::error_code ec;
    if (o.status_file != "yes" && o.status_file != "no" &&
        std::filesystem::is_directory(core::utf8_path(value), ec)) {
        return "status-file: " + value + " - папка, а нужен путь файла (или yes, или no)";
    }
    return {};
}

// A whole number from low to high, kept as written for the program that reads it.
std::string set_number(ProgramOptions& o, const char* key, const std::string& value, long low,
                       long high) {
    long number = 0;
    if (!core::whole_number(value, low, high, number)) {
        return std::string(key) + ": нужно число от " + std::to_string(low) + " до " +
               std::to_string(high) + ", а не '" + value + "'";
    }
    o.program_settings[key] = value;
    return {};
}

std::string set_stop_hour(ProgramOptions& o, const std::string& value) {
    return set_number(o, "stop-hour", value, 1, 23);
}

std::string set_wait(ProgramOptions& o, const std::string& value) {
    return set_number(o, "wait", value, 1, 59);
}

std::string set_call_start(ProgramOptions& o, const std::string& value) {
    return set_number(o, "call-start", value, 0, 23);
}

std::string set_call_days(ProgramOptions& o, const std::string& value) {
    std::array<bool, 8> days{};
    std::string wrong = campaign::parse_call_days(value, days);
    if (wrong.empty()) {
        o.program_settings["call-days"] = value;
    }
    return wrong;
}

std::string set_holidays(ProgramOptions& o, const std::string& value) {
    o.program_settings["holidays"] = value;
    return {};
}

std::string set_retry(ProgramOptions& o, const std::string& value) {
    return set_number(o, "retry", value, 1, 99);
}

std::string set_retry_gap(ProgramOptions& o, const std::string& value) {
    return set_number(o, "retry-gap", value, 1, 10080);
}

std::string set_retry_marks(ProgramOptions& o, const std::string& value) {
    std::string wrong = campaign::check_retry_marks(value);
    if (!wrong.empty()) {
        return "retry-marks: " + wrong;
    }
    o.program_settings["retry-marks"] = value;
    return {};
}

std::string set_text(ProgramOptions& o, const char* key, const std::string& value) {
    o.program_settings[key] = value;
    return {};
}

std::string set_campaign_db(ProgramOptions& o, const std::string& value) {
    return set_text(o, "campaign-db", value);
}

std::string set_campaign(ProgramOptions& o, const std::string& value) {
    return set_text(o, "campaign", value);
}

std::string set_rack_name(ProgramOptions& o, const std::string& value) {
    return set_text(o, "rack-name", value);
}

std::string set_claim_lease(ProgramOptions& o, const std::string& value) {
    return set_number(o, "claim-lease", value, 5, 86400);
}

std::string set_clock_check(ProgramOptions& o, const std::string& value) {
    if (value != "off" && value != "warn" && value != "hold") {
        return "clock-check: нужно off, warn или hold, а не '" + value + "'";
    }
    o.program_settings["clock-check"] = value;
    return {};
}

std::string set_time(ProgramOptions& o, const std::string& value) {
    core::LocalTime t;
    if (!core::parse_local_time(value, t)) {
        return "неверное время '" + value + "': нужно ГГГГ-ММ-ДДTЧЧ:ММ:СС";
    }
    o.time = t;
    return {};
}

const std::vector<OptionSpec> TABLE = {
    {.row = {"--port", "NAME", "последовательный порт плат (по умолчанию {port})"},
     .settings_key = "port",
     .take = set_port},
    {.row = {"--root", "DIR",
             "папка, которая стоит вместо диска C: (по умолчанию {root});\n"
             "c:\\Ring.TXT - это DIR/Ring.TXT, регистр букв не важен"},
     .settings_key = "root",
     .take = set_root},
    {.row = {"--simulate", "RACKFILE", "вместо порта - имитатор стойки, описанной в RACKFILE"},
     .text = &ProgramOptions::rack_file},
    {.row = {"--fast", nullptr,
             "только с --simulate: виртуальное время, паузы, проигрывание\n"
             "и ожидание ответов не занимают настоящего времени"},
     .flag = &ProgramOptions::fast},
    {.row = {"--time", "ГГГГ-ММ-ДДTЧЧ:ММ:СС", "только с --fast: с этого времени идут часы ПК"},
     .take = set_time},
    {.row = {"--trace", "FILE", "записывать каждый байт линии и каждый проигранный файл"},
     .text = &ProgramOptions::trace_file},
    {.row = {"--console", nullptr,
             "без окна: события в стандартный вывод, команды оператора\n"
             "из стандартного ввода (см. ниже)"},
     .flag = &ProgramOptions::console},
    {.row = {"--autostart", nullptr,
             "после проверки каналов программа сама нажимает \"Старт\"\n"
             "(отказ - строкой в списке событий, без окна). С --console\n"
             "конец ввода не завершает работу; код выхода 0 - работа\n"
             "закончилась (конец списка, \"Стоп\"), 1 - старт не принят\n"
             "или платы перестали отвечать; SIGTERM и SIGINT - как \"Стоп\""},
     .flag = &ProgramOptions::autostart},
    {.row = {"--reconnect", "SECONDS",
             "если платы перестали отвечать или порт пропал: закрыть порт и\n"
             "каждые SECONDS секунд открывать снова, проверить каналы и\n"
             "продолжить работу (по умолчанию 0 - не открывать)"},
     .settings_key = "reconnect",
     .default_value = "0",
     .take = set_reconnect},
    {.row = {"--journal", "WHERE",
             "журнал событий за день: yes - папка journal на диске C:,\n"
             "или папка; no - без журнала (по умолчанию)"},
     .settings_key = "journal",
     .default_value = "no",
     .take = set_journal},
    {.row = {"--journal-keep", "DAYS",
             "сколько дней хранить журнал, сегодняшний день с ними: файлы\n"
             "более ранних дней удаляются (по умолчанию 0 - хранить все)"},
     .settings_key = "journal-keep",
     .default_value = "0",
     .take = set_journal_keep},
    {.row = {"--status-file", "WHERE",
             "файл состояния (JSON) для наблюдения: yes - status-<программа>.json\n"
             "на диске C:, или путь; no - без файла (по умолчанию)"},
     .settings_key = "status-file",
     .default_value = "no",
     .take = set_status_file},
    {.row = {"--clock-check", "MODE",
             "только Inform: проверять, синхронизированы ли часы ПК; off - нет\n"
             "(по умолчанию), warn - сказать в журнале, hold - еще и не\n"
             "корректировать по ним часы плат, пока не синхронизированы"},
     .settings_key = "clock-check",
     .default_value = "off",
     .only_program = "inform",
     .take = set_clock_check},
    {.row = {"--stop-hour", "1..23",
             "только Dialrun: с какого часа начинает счетчик \"Стоп\" (22)"},
     .settings_key = "stop-hour",
     .default_value = "22",
     .only_program = "dialrun",
     .take = set_stop_hour},
    {.row = {"--wait", "1..59", "только Dialrun: с чего начинает счетчик \"Ожид.\" (20)"},
     .settings_key = "wait",
     .default_value = "20",
     .only_program = "dialrun",
     .take = set_wait},
    {.row = {"--call-start", "0..23",
             "только Dialrun: окно прозвонки - звонить с этого часа до часа\n"
             "\"Стоп\", вне окна пауза до его открытия (0 - без окна: прогон\n"
             "кончается в час \"Стоп\", по умолчанию)"},
     .settings_key = "call-start",
     .default_value = "0",
     .only_program = "dialrun",
     .take = set_call_start},
    {.row = {"--call-days", "DAYS",
             "только Dialrun, с --call-start: дни недели окна, 1 - понедельник,\n"
             "например 1-5 или 1,2,3,4,5,6 (по умолчанию 1-7)"},
     .settings_key = "call-days",
     .default_value = "1-7",
     .only_program = "dialrun",
     .take = set_call_days},
    {.row = {"--holidays", "FILE",
             "только Dialrun, с --call-start: дни без звонков, дата в строке:\n"
             "ГГГГ-ММ-ДД один раз или ДД.ММ каждый год, # - комментарий"},
     .settings_key = "holidays",
     .default_value = "",
     .only_program = "dialrun",
     .take = set_holidays},
    {.row = {"--retry", "1..99",
             "только Dialrun: сколько звонков всего может получить неоповещенный\n"
             "абонент; попытки считаются в Ring.TXT.attempts рядом со списком, и\n"
             "когда у каждой записи есть отметка, идут повторные круги (1 - без\n"
             "повторов: попытки не считаются, прогон кончается в конце списка,\n"
             "по умолчанию)"},
     .settings_key = "retry",
     .default_value = "1",
     .only_program = "dialrun",
     .take = set_retry},
    {.row = {"--retry-gap", "MINUTES",
             "только Dialrun, с --retry: не чаще, чем раз в столько минут (120)"},
     .settings_key = "retry-gap",
     .default_value = "120",
     .only_program = "dialrun",
     .take = set_retry_gap},
    {.row = {"--retry-marks", "ZN",
             "только Dialrun, с --retry: какие отметки повторять (Z, N или ZN;\n"
             "Y нельзя)"},
     .settings_key = "retry-marks",
     .default_value = "ZN",
     .only_program = "dialrun",
     .take = set_retry_marks},
    {.row = {"--campaign-db", "CONN",
             "только Dialrun: брать записи из общей для нескольких стоек кампании\n"
             "в PostgreSQL, а не из Ring.TXT; CONN - строка подключения ODBC\n"
             "(Driver={PostgreSQL Unicode};Server=...;Database=...;Uid=...;Pwd=...;)\n"
             "или DSN=ИМЯ; пароль лучше держать в файле настроек (chmod 600)"},
     .settings_key = "campaign-db",
     .default_value = "",
     .only_program = "dialrun",
     .take = set_campaign_db},
    {.row = {"--campaign", "NAME",
             "только Dialrun, с --campaign-db: имя кампании (ringlist db push)"},
     .settings_key = "campaign",
     .default_value = "",
     .only_program = "dialrun",
     .take = set_campaign},
    {.row = {"--rack-name", "NAME",
             "только Dialrun, с --campaign-db: имя стойки в кампании (по умолчанию\n"
             "ИМЯ_ПК:ПОРТ); при старте стойка освобождает записи, которые держала"},
     .settings_key = "rack-name",
     .default_value = "",
     .only_program = "dialrun",
     .take = set_rack_name},
    {.row = {"--claim-lease", "SECONDS",
             "только Dialrun, с --campaign-db: на сколько секунд стойка берет запись;\n"
             "пока идет звонок, срок продлевается, а запись стойки, которая пропала,\n"
             "по его истечении получают другие (5..86400, по умолчанию 600)"},
     .settings_key = "claim-lease",
     .default_value = "600",
     .only_program = "dialrun",
     .take = set_claim_lease},
    {.row = {"--config", "FILE", "файл настроек, читается последним"},
     .text = &ProgramOptions::config},
    {.row = {"--no-settings", nullptr, "не читать файлы настроек (для проверок и сценариев)"},
     .flag = &ProgramOptions::no_settings},
    {.row = {"--show-settings", nullptr, "показать настройки, которые будут взяты, и откуда"},
     .flag = &ProgramOptions::show_settings},
    {.row = {"--version", nullptr, "версия программы"}, .flag = &ProgramOptions::version},
    {.row = {"--help", nullptr, "эта справка"}, .flag = &ProgramOptions::help},
};

// "port и root": names listed as a sentence lists them.
std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " и " : ", ") + names[i];
    }
    return text;
}

std::string replaced(std::string text, const std::string& what, const std::string& by) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
        text.replace(at, what.size(), by);
        at += by.size();
    }
    return text;
}

}  // namespace

const std::vector<OptionSpec>& program_option_table() {
    return TABLE;
}

std::vector<std::string> settings_keys() {
    std::vector<std::string> keys;
    for (const OptionSpec& entry : TABLE) {
        if (entry.settings_key != nullptr) {
            keys.push_back(entry.settings_key);
        }
    }
    return keys;
}

const OptionSpec* settings_entry(const std::string& key) {
    for (const OptionSpec& entry : TABLE) {
        if (entry.settings_key != nullptr && key == entry.settings_key) {
            return &entry;
        }
    }
    return nullptr;
}

std::string check_setting(const OptionSpec& entry, const std::string& value) {
    ProgramOptions scratch;
    return apply_option(entry, scratch, value);
}

std::string settings_keys_text() {
    return listed(settings_keys());
}

std::string apply_option(const OptionSpec& entry, ProgramOptions& options,
                         const std::string& value) {
    if (entry.flag != nullptr) {
        options.*entry.flag = true;
    } else if (entry.text != nullptr) {
        options.*entry.text = value;
    } else {
        return entry.take(options, value);
    }
    return {};
}

std::vector<core::OptionRow> option_rows() {
    std::vector<core::OptionRow> rows;
    for (const OptionSpec& entry : TABLE) {
        rows.push_back(entry.row);
    }
    return rows;
}

std::string options_help() {
    const std::string root = default_root() == "." ? std::string("текущая") : default_root();
    std::string text = core::options_help(option_rows(), HELP_COLUMN);
    return replaced(replaced(text, "{port}", core::default_port_name()), "{root}", root);
}

}  // namespace program
