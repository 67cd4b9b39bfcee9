// rackconf: the installers' hand in the machine's settings. It sets the port and the data
// folder in the settings file every program reads first, keeping every other line (an
// administrator's own keys survive an upgrade), and makes the data folder writable by every
// user of the PC. The NSIS installer and the MSI both run it, so they write the file alike.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/settings_edit.h"
#include "base/program_process.h"
#include "base/utf8_text.h"
#include "files/durable_file.h"
#include "rackconf/data_folder.h"

// Where the installers put the programs' drive C: and the port the boards are on at first.
#ifdef _WIN32
#define DEFAULT_PORT "COM1"
#define DEFAULT_ROOT "C:\\Boardrack"
#else
#define DEFAULT_PORT "/dev/ttyS0"
#define DEFAULT_ROOT "/var/lib/boardrack"
#endif

namespace {

const char* const HELP =
    "rackconf [--port NAME] [--root FOLDER] [--file FILE]\n"
    "rackconf --get port|root [--file FILE]\n"
    "Записывает в файл настроек ПК порт плат и папку данных (диск C: программ),\n"
    "сохраняя все остальные строки файла, создает папку данных и разрешает всем\n"
    "пользователям ПК изменять в ней файлы. Его запускают установщики.\n"
    "\n"
    "  --port NAME    порт плат (port); без него или пустой - из файла, иначе\n"
    "                 " DEFAULT_PORT
    "\n"
    "  --root FOLDER  папка данных (root); без нее или пустой - из файла, иначе\n"
    "                 " DEFAULT_ROOT
    "\n"
    "  --file FILE    файл настроек (по умолчанию тот, что программы читают первым)\n"
    "  --get KEY      только напечатать port или root из файла (или значение по\n"
    "                 умолчанию), без перевода строки: для страницы установщика\n"
    "  --help         эта справка\n";

int refuse(const std::string& why) {
    std::cerr << "rackconf: " << why << "\n";
    return 1;
}

// The value a key has before any section of the file, or fallback.
std::string value_in(const std::string& text, const std::string& file, const std::string& key,
                     const std::string& fallback) {
    program::Settings settings;
    program::read_settings_text(text, file, "", settings);
    const program::SettingValue* found = settings.find(key);
    return found != nullptr ? found->value : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    program::use_utf8_console();
    std::vector<std::string> args = program::utf8_arguments(argc, argv);
    std::string port, root, file, get;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::cout << HELP;
            return 0;
        }
        std::string* target = args[i] == "--port"   ? &port
                              : args[i] == "--root" ? &root
                              : args[i] == "--file" ? &file
                              : args[i] == "--get"  ? &get
                                                    : nullptr;
        // An empty value is one not given: an installer passes its property as it is.
        if (target == nullptr || i + 1 == args.size()) {
            return refuse(target == nullptr ? "неизвестный параметр " + args[i]
                                            : "после " + args[i] + " нужно значение");
        }
        *target = args[++i];
    }
    if (file.empty()) {
        std::vector<std::string> files = program::settings_files("");
        if (files.empty()) {
            return refuse("не найдена папка файла настроек ПК; укажите --file FILE");
        }
        file = files.front();
    }
    std::filesystem::path path = core::utf8_path(file);
    std::string error;
    std::string text =
        std::filesystem::exists(path) ? core::read_file_bytes(path, error) : std::string();
    if (!error.empty()) {
        return refuse(file + ": файл настроек не прочитан: " + error);
    }
    port = port.empty() ? value_in(text, file, "port", DEFAULT_PORT) : port;
    root = root.empty() ? value_in(text, file, "root", DEFAULT_ROOT) : root;
    if (!get.empty()) {
        if (get != "port" && get != "root") {
            return refuse("--get: нужно port или root, а не '" + get + "'");
        }
        std::cout << (get == "port" ? port : root);
        return 0;
    }
    std::string edited = text;
    for (const auto& [key, value] : {std::pair{"port", port}, std::pair{"root", root}}) {
        std::string wrong = program::set_setting(edited, file, key, value, edited);
        if (!wrong.empty()) {
            return refuse(wrong);
        }
    }
    if (edited != text) {
        std::error_code made;
        std::filesystem::create_directories(path.parent_path(), made);
        error = core::replace_file(path, edited);
        if (!error.empty()) {
            return refuse(file + ": файл настроек не записан: " + error);
        }
    }
    std::cout << file << ": port = " << port << ", root = " << root
              << (edited != text ? "" : " (без изменений)") << "\n";
    error = rackconf::open_data_folder(core::utf8_path(root));
    if (!error.empty()) {
        return refuse("папка данных " + root + ": " + error);
    }
#ifdef _WIN32
    std::cout << "Папка данных " << root << ": изменять файлы могут все пользователи ПК\n";
#else
    std::cout << "Папка данных " << root << " есть\n";
#endif
    return 0;
}
