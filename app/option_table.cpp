#include "app/option_table.h"

#include "app/program_options.h"
#include "link/serial_port.h"

namespace program {

namespace {

// Where an option's help starts: the column after "  --simulate RACKFILE  ".
constexpr size_t HELP_COLUMN = 23;

std::string set_port(ProgramOptions& o, const std::string& value) {
    o.port = value;
    o.port_given = true;
    return {};
}

std::string set_root(ProgramOptions& o, const std::string& value) {
    o.root = value;
    o.root_given = true;
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
    {.row = {"--config", "FILE", "файл настроек, читается последним"},
     .text = &ProgramOptions::config},
    {.row = {"--no-settings", nullptr, "не читать файлы настроек (для проверок и сценариев)"},
     .flag = &ProgramOptions::no_settings},
    {.row = {"--show-settings", nullptr, "показать порт и папку, которые будут взяты, и откуда"},
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
