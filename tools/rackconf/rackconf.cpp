// rackconf: the installers' hand in the machine's settings. It sets the port and the data
// folder in the settings file every program reads first, keeping every other line (an
// administrator's own keys survive an upgrade), and makes the data folder writable by every
// user of the PC. The NSIS installer and the MSI both run it, so they write the file alike.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/option_rows.h"
#include "base/program_process.h"
#include "base/utf8_text.h"
#include "files/durable_file.h"
#include "rackconf/data_folder.h"
#include "rackconf/installer_values.h"
#include "rackconf/settings_update.h"

// Where the installers put the programs' drive C: and the port the boards are on at first.
#ifdef _WIN32
#define DEFAULT_PORT "COM1"
#define DEFAULT_ROOT "C:\\Boardrack"
#else
#define DEFAULT_PORT "/dev/ttyS0"
#define DEFAULT_ROOT "/var/lib/boardrack"
#endif

namespace {

enum Option { PORT, ROOT, INSTALLER, FILE_OPTION, GET, CHECK, HELP };

// In the order of enum Option.
const std::vector<core::OptionRow> OPTIONS = {
    {"--port", "NAME", "порт плат (port); без него или пустой - из файла, иначе\n" DEFAULT_PORT},
    {"--root", "FOLDER",
     "папка данных (root); без нее или пустая - из файла, иначе\n" DEFAULT_ROOT},
    {"--installer", "PORT|FOLDER",
     "порт и папка от установщика, последним параметром: в Windows\n"
     "берутся из командной строки как есть, без разбора кавычек"},
    {"--file", "FILE", "файл настроек (по умолчанию тот, что программы читают первым)"},
    {"--get", "KEY",
     "только напечатать port или root из файла (или значение по\n"
     "умолчанию), без перевода строки: для страницы установщика"},
    {"--check", nullptr, "только проверить значения и файл, ничего не записывая"},
    {"--help", nullptr, "эта справка"},
};

std::string usage() {
    return "rackconf [--port NAME] [--root FOLDER] [--file FILE] [--check]\n"
           "rackconf [--file FILE] [--check] --installer PORT|FOLDER\n"
           "rackconf --get port|root [--file FILE]\n"
           "Записывает в файл настроек ПК порт плат и папку данных (диск C: программ),\n"
           "сохраняя все остальные строки файла, создает папку данных и разрешает всем\n"
           "пользователям ПК изменять в ней файлы. Его запускают установщики. Значение\n"
           "с переводом строки, пробелом в конце, кавычкой или \" #\" отвергается, и файл\n"
           "остается как был.\n"
           "\n" +
           core::options_help(OPTIONS, 22);
}

int refuse(const std::string& why) {
    std::cerr << "rackconf: " << why << "\n";
    return 1;
}

// The arguments after the program's name. On Windows the value of --installer is the rest of
// the command line as written: the usual reading would turn C:\Rack\" into C:\Rack".
std::vector<std::string> arguments(int argc, char** argv) {
    std::vector<std::string> args = program::utf8_arguments(argc, argv);
    args.erase(args.begin(), args.begin() + (args.empty() ? 0 : 1));
    std::string tail;
    if (!rackconf::installer_tail(program::raw_command_line(), tail)) {
        return args;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--installer") {
            args.resize(i + 1);
            args.push_back(tail);
            break;
        }
    }
    return args;
}

struct Request {
    rackconf::InstallerValues given;
    std::string file;
    std::string get;
    bool check = false;
};

// Reads the options into request; returns -1 to go on, else the exit code.
int read_request(int argc, char** argv, Request& request) {
    core::OptionsRead read = core::read_options(OPTIONS, arguments(argc, argv), true);
    if (read.fault != core::OptionFault::none) {
        std::cerr << "rackconf: "
                  << (read.fault == core::OptionFault::no_value
                          ? "после " + read.option + " нужно значение"
                          : "неизвестный параметр " + read.argument)
                  << "\n"
                  << usage();
        return 2;
    }
    for (const core::OptionFound& found : read.found) {
        switch (found.row) {
            case PORT:
                request.given.port = found.value;
                break;
            case ROOT:
                request.given.root = found.value;
                break;
            case INSTALLER: {
                std::string wrong = rackconf::split_installer_values(found.value, request.given);
                if (!wrong.empty()) {
                    std::cerr << "rackconf: " << wrong << "\n";
                    return 2;
                }
                break;
            }
            case FILE_OPTION:
                request.file = found.value;
                break;
            case GET:
                request.get = found.value;
                break;
            case CHECK:
                request.check = true;
                break;
            case HELP:
                std::cout << usage();
                return 0;
        }
    }
    if (!request.get.empty() && request.get != "port" && request.get != "root") {
        std::cerr << "rackconf: --get: нужно port или root, а не '" << request.get << "'\n";
        return 2;
    }
    return -1;
}

// The data folder first: where it cannot be made, the file stays as it was.
int write_settings(const std::string& file, const rackconf::SettingsUpdate& update) {
    std::string error = rackconf::open_data_folder(core::utf8_path(update.root));
    if (!error.empty()) {
        return refuse("папка данных " + update.root + ": " + error);
    }
    std::filesystem::path path = core::utf8_path(file);
    if (update.changed) {
        std::error_code made;
        std::filesystem::create_directories(path.parent_path(), made);
        error = core::replace_file(path, update.text);
        if (!error.empty()) {
            return refuse(file + ": файл настроек не записан: " + error);
        }
    }
    std::cout << file << ": port = " << update.port << ", root = " << update.root
              << (update.changed ? "" : " (без изменений)") << "\n";
#ifdef _WIN32
    std::cout << "Папка данных " << update.root << ": изменять файлы могут все пользователи ПК\n";
#else
    std::cout << "Папка данных " << update.root << " есть\n";
#endif
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    program::use_utf8_console();
    Request request;
    int code = read_request(argc, argv, request);
    if (code >= 0) {
        return code;
    }
    std::string file = request.file;
    if (file.empty()) {
        std::vector<std::string> files = program::settings_files("");
        if (files.empty()) {
            return refuse("не найдена папка файла настроек ПК; укажите --file FILE");
        }
        file = files.front();
    }
    std::filesystem::path path = core::utf8_path(file);
    std::error_code there;
    std::string error;
    std::string text =
        std::filesystem::exists(path, there) ? core::read_file_bytes(path, error) : std::string();
    if (!error.empty()) {
        return refuse(file + ": файл настроек не прочитан: " + error);
    }
    rackconf::SettingsUpdate update;
    std::string wrong =
        rackconf::update_settings(text, file, request.given, {DEFAULT_PORT, DEFAULT_ROOT}, update);
    if (!request.get.empty()) {
        // The file's own values, even where it holds a line the programs refuse.
        std::cout << (request.get == "port" ? update.port : update.root);
        return 0;
    }
    if (!wrong.empty()) {
        return refuse(wrong + "; файл настроек не изменен");
    }
    if (request.check) {
        std::cout << file << ": port = " << update.port << ", root = " << update.root
                  << " (проверено, не записано)\n";
        return 0;
    }
    return write_settings(file, update);
}
