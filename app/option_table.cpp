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
    {.name = "--port",
     .value = "NAME",
     .help = "последовательный порт плат (по умолчанию {port})",
     .settings_key = "port",
     .take = set_port},
    {.name = "--root",
     .value = "DIR",
     .help = "папка, которая стоит вместо диска C: (по умолчанию {root});\n"
             "c:\\Ring.TXT - это DIR/Ring.TXT, регистр букв не важен",
     .settings_key = "root",
     .take = set_root},
    {.name = "--simulate",
     .value = "RACKFILE",
     .help = "вместо порта - имитатор стойки, описанной в RACKFILE",
     .text = &ProgramOptions::rack_file},
    {.name = "--fast",
     .help = "только с --simulate: виртуальное время, паузы, проигрывание\n"
             "и ожидание ответов не занимают настоящего времени",
     .flag = &ProgramOptions::fast},
    {.name = "--time",
     .value = "ГГГГ-ММ-ДДTЧЧ:ММ:СС",
     .help = "только с --fast: с этого времени идут часы ПК",
     .take = set_time},
    {.name = "--trace",
     .value = "FILE",
     .help = "записывать каждый байт линии и каждый проигранный файл",
     .text = &ProgramOptions::trace_file},
    {.name = "--console",
     .help = "без окна: события в стандартный вывод, команды оператора\n"
             "из стандартного ввода (см. ниже)",
     .flag = &ProgramOptions::console},
    {.name = "--config",
     .value = "FILE",
     .help = "файл настроек, читается последним",
     .text = &ProgramOptions::config},
    {.name = "--no-settings",
     .help = "не читать файлы настроек (для проверок и сценариев)",
     .flag = &ProgramOptions::no_settings},
    {.name = "--show-settings",
     .help = "показать порт и папку, которые будут взяты, и откуда",
     .flag = &ProgramOptions::show_settings},
    {.name = "--version", .help = "версия программы", .flag = &ProgramOptions::version},
    {.name = "--help", .help = "эта справка", .flag = &ProgramOptions::help},
};

// Columns on a terminal: UTF-8 continuation bytes take none.
size_t columns(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text) {
        n += (c & 0xC0) != 0x80;
    }
    return n;
}

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
    for (const OptionSpec& spec : TABLE) {
        if (spec.settings_key != nullptr) {
            keys.push_back(spec.settings_key);
        }
    }
    return keys;
}

std::string settings_keys_text() {
    return listed(settings_keys());
}

std::string apply_option(const OptionSpec& spec, ProgramOptions& options,
                         const std::string& value) {
    if (spec.flag != nullptr) {
        options.*spec.flag = true;
    } else if (spec.text != nullptr) {
        options.*spec.text = value;
    } else {
        return spec.take(options, value);
    }
    return {};
}

std::string options_help() {
    const std::string indent(HELP_COLUMN, ' ');
    const std::string root = default_root() == "." ? std::string("текущая") : default_root();
    std::string text;
    for (const OptionSpec& spec : TABLE) {
        std::string head = std::string("  ") + spec.name;
        if (spec.value != nullptr) {
            head += std::string(" ") + spec.value;
        }
        size_t width = columns(head);
        head += width + 2 <= HELP_COLUMN ? std::string(HELP_COLUMN - width, ' ') : "\n" + indent;
        std::string help = replaced(spec.help, "{port}", core::default_port_name());
        help = replaced(help, "{root}", root);
        text += head + replaced(help, "\n", "\n" + indent) + "\n";
    }
    return text;
}

}  // namespace program
