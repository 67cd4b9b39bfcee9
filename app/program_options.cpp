#include "app/program_options.h"

#include <cstdlib>
#include "app/option_table.h"

#include "link/serial_port.h"

namespace program {

namespace {

const char* const DEFAULT_SOURCE = "по умолчанию";

}  // namespace

OptionsParse parse_program_options(const std::vector<std::string>& args) {
    OptionsParse result;
    ProgramOptions& o = result.options;
    core::OptionsRead read = core::read_options(option_rows(), args, true);
    for (const core::OptionFound& found : read.found) {
        const OptionSpec& entry = program_option_table()[found.row];
        std::string wrong = apply_option(entry, o, found.value);
        if (!wrong.empty()) {
            result.error = wrong;
            return result;
        }
        if (entry.settings_key != nullptr) {
            o.given[entry.settings_key] = found.value;
        }
    }
    if (read.fault == core::OptionFault::unknown) {
        result.error = "неизвестный параметр '" + read.argument + "'";
        return result;
    }
    if (read.fault == core::OptionFault::no_value) {
        result.error = "у параметра " + read.option + " нет значения";
        return result;
    }
    if (o.fast && o.rack_file.empty()) {
        result.error = "--fast работает только с --simulate: у настоящих плат время настоящее";
        return result;
    }
    if (o.time && !o.fast) {
        result.error = "--time задает часы ПК только вместе с --fast";
        return result;
    }
    if (!o.config.empty() && o.no_settings) {
        result.error = "--config и --no-settings вместе не задаются";
        return result;
    }
    if (!o.rack_file.empty() && !o.port.empty()) {
        result.error = "--port и --simulate вместе не задаются: либо порт, либо имитатор";
        return result;
    }
    if (o.port.empty()) {
        o.port = core::default_port_name();
    }
    result.ok = true;
    return result;
}

namespace {

std::string platform_default(const std::string& key) {
    return key == "port" ? core::default_port_name() : default_root();
}

}  // namespace

Settings apply_settings(ProgramOptions& o, const Settings& from_files) {
    Settings in_force;
    for (const OptionSpec& entry : program_option_table()) {
        if (entry.settings_key == nullptr) {
            continue;
        }
        std::string key = entry.settings_key;
        SettingValue& value = in_force.values[key];
        const SettingValue* from_file = from_files.find(key);
        if (key == "port" && !o.rack_file.empty()) {
            value = {"", "не нужен: имитатор стойки (--simulate)"};
            continue;
        }
        if (o.given.count(key) != 0) {
            value = {o.given[key], std::string("параметр ") + entry.row.name};  // applied
            continue;
        }
        if (from_file != nullptr) {
            value = *from_file;
        } else {
            value = {entry.default_value != nullptr ? entry.default_value : platform_default(key),
                     DEFAULT_SOURCE};
        }
        apply_option(entry, o, value.value);  // checked as the file was read
    }
    return in_force;
}

std::string retry_settings_without_retry(const Settings& in_force) {
    const SettingValue* retry = in_force.find("retry");
    if (retry == nullptr || std::atoi(retry->value.c_str()) > 1) {
        return {};
    }
    std::vector<std::string> idle;
    for (const char* key : {"retry-gap", "retry-marks"}) {
        const SettingValue* value = in_force.find(key);
        if (value != nullptr && value->source != DEFAULT_SOURCE) {
            idle.push_back(key);
        }
    }
    const std::string need = ": нужен retry, сколько звонков всего (больше 1)";
    if (idle.size() == 2) {
        return "retry-gap и retry-marks без retry не действуют" + need;
    }
    return idle.empty() ? "" : idle[0] + " без retry не действует" + need;
}

std::string setting_path(const std::string& value, const std::string& root,
                         const std::string& under_root) {
    if (value == "no") {
        return {};
    }
    if (value == "yes") {
        return root + "/" + under_root;
    }
    return value;
}

std::string program_key(const std::string& program_name) {
    std::string key;
    for (char c : program_name) {
        key += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return key;
}

namespace {

// Where the settings files are read, in the system's own places, and on Windows where the
// installer's shortcuts keep drive C:.
std::string settings_places() {
#ifdef _WIN32
    return "в %ProgramData%\\Boardrack\\boardrack.conf (файл этого ПК, его пишет\n"
           "установщик), затем в --config FILE; следующий файл важнее предыдущего,\n"
           "командная строка важнее всех. Программы сами ничего не сохраняют. port из\n"
           "файла не используется с --simulate.\n"
           "\n"
           "Установщик записывает в файл ПК порт (/PORT=COM3, в пакете MSI PORT=COM3) и\n"
           "папку данных (/ROOT=D:\\Boardrack или ROOT=..., по умолчанию C:\\Boardrack):\n"
           "в C:\\ без прав администратора файлы не создаются, а папку данных\n"
           "установщик делает доступной всем. Позже порт меняет rackconf --port COM3.\n";
#else
    return "в /etc/boardrack.conf, затем в $XDG_CONFIG_HOME/boardrack.conf\n"
           "(~/.config/boardrack.conf), затем в --config FILE; каждый следующий файл\n"
           "важнее предыдущего, командная строка важнее всех. Программы сами ничего не\n"
           "сохраняют. port из файла не используется с --simulate.\n";
#endif
}

// A text broken into lines of at most 80 columns at its blanks.
std::string wrapped(const std::string& text) {
    std::string out;
    size_t last_blank = std::string::npos;
    size_t columns = 0;  // of the line so far: UTF-8 continuation bytes take none
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') {
            last_blank = out.size();
        }
        out += text[i];
        columns += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 ? 1 : 0;
        if (columns > 80 && last_blank != std::string::npos) {
            columns = 0;
            for (size_t j = last_blank + 1; j < out.size(); ++j) {
                columns += (static_cast<unsigned char>(out[j]) & 0xC0) != 0x80 ? 1 : 0;
            }
            out[last_blank] = '\n';
            last_blank = std::string::npos;
        }
    }
    return out + "\n";
}

}  // namespace

std::string program_usage(const std::string& executable, const std::string& title) {
    return "Использование: " + executable +
           " [параметры]\n"
           "\n" +
           title +
           ": программа оператора стойки плат K1..K8.\n"
           "\n" +
           options_help() +
           "\n"
           "Настройки: строки \"ключ = значение\" (# - комментарий) с ключами\n" +
           wrapped(settings_keys_text() + ";") +
           "после строки [dialrun], [pinread] или [inform] ключи только для этой программы.\n"
           "Читаются " +
           settings_places() +
           "\n"
           "Вывод --console: строка на событие, метка, табуляция, текст:\n"
           "  log, clear, status, box, row (Kn, канал, линия, режим ...)\n"
           "Команды --console, по одной в строке:\n"
           "  K1..K8        кнопка канала\n"
           "  start, stop, upload, informer, time, check, permit   кнопки формы\n"
           "  set-wait N, set-stop N   счетчики \"Ожид.\" и \"Стоп\" (Dialrun)\n"
           "  wait          дождаться, пока закончится работа с платами\n"
           "  sleep S       подождать S секунд по часам программы\n"
           "  show          показать все поля формы и состояние\n"
           "  quit          выйти; конец ввода - как wait, затем выход\n";
}

}  // namespace program
