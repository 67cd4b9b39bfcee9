#include "app/program_main.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#endif

#include "app/journal_file.h"
#include "app/option_table.h"
#include "app/status_file.h"
#include "base/program_process.h"
#include "base/system_reason.h"
#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "console/console_front_end.h"
#include "db/connection_string.h"
#include "files/drive_paths.h"
#include "files/durable_file.h"

namespace program {

namespace {

bool same_name_any_case(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// One file by its place, whether it is there yet or not: the folders by identity (a link to
// the folder, a doubled separator or a relative name name the same one), the names without
// regard to case, as the drive finds them.
bool same_place(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) {
        return true;
    }
    std::filesystem::path na = std::filesystem::absolute(a, ec).lexically_normal();
    std::filesystem::path nb = std::filesystem::absolute(b, ec).lexically_normal();
    if (ec || !same_name_any_case(na.filename().string(), nb.filename().string())) {
        return false;
    }
    std::error_code parents;
    return std::filesystem::equivalent(na.parent_path(), nb.parent_path(), parents) ||
           na.parent_path() == nb.parent_path();
}

// The status file and the wire trace are written over: neither may be a file of the campaign
// or of the rack, which it would replace (a list holds every subscriber's mark).
std::string own_file_refusal(const ProgramOptions& options, const std::string& program) {
    core::DriveC drive(core::utf8_path(options.root));
    std::vector<std::filesystem::path> kept = {
        drive.resolve("c:\\Ring.TXT"), drive.resolve("c:\\RINGY.txt"),
        drive.resolve("c:\\RINGN.txt"), campaign::attempts_path(drive.resolve("c:\\Ring.TXT"))};
    if (!options.rack_file.empty()) {
        kept.push_back(core::utf8_path(options.rack_file));
    }
    std::string status =
        setting_path(options.status_file, options.root, "status-" + program + ".json");
    for (const auto& [option, path] : {std::pair<std::string, std::string>{"--status-file", status},
                                       {"--trace", options.trace_file}}) {
        for (const std::filesystem::path& own : kept) {
            if (!path.empty() && same_place(core::utf8_path(path), own)) {
                return option + ": " + path + " - файл прозвонки или стойки, он был бы затерт";
            }
        }
    }
    return {};
}

std::string executable_name(const char* argv0) {
    std::string name = argv0 != nullptr ? argv0 : "program";
    size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// Unattended, the exit status says how the run ended: 0 at the end of the list or at a stop,
// 1 when its start was refused (or never came: the survey stopped) or a board stopped
// answering, so that a service manager restarts the program. A stop signal is the service
// manager ending it: 0, whatever the phase.
int unattended_status(const station::Controller& controller) {
    if (controller.end_requested()) {
        return 0;
    }
    bool started = controller.autostart() == station::Controller::Autostart::started;
    return started && !controller.state().run_failed ? 0 : 1;
}

// Every console line out before the program exits, while a reader takes them; lines that a
// reader who stopped reading never got are said in the log (and so in the journal), once.
void finish_console_output(ConsoleFrontEnd& console, station::Controller& controller) {
    if (!console.finish_output()) {
        controller.state().log.add("Вывод консоли не читается: " +
                                   std::to_string(console.lines_lost()) + " строк не выведено");
    }
}

#ifndef _WIN32
// The write end of the pipe on which a stop signal is told: a signal handler can reach nothing
// else, so this one descriptor lives outside the program's state object.
int stop_signal_pipe = -1;

extern "C" void on_stop_signal(int signal) {
    char byte = static_cast<char>(signal);
    if (::write(stop_signal_pipe, &byte, 1) < 0) {
        return;  // nothing more can be done in a handler
    }
}

std::string signal_name(int signal) {
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : std::to_string(signal);
}

// SIGTERM and SIGINT are the service manager ending the program, whatever it is doing: a thread
// of its own, woken through the pipe, asks the controller to end (a run stops as at "Стоп",
// nothing new starts), reads every later signal meanwhile, and once the work is over ends the
// program with 0 where input has not ended; otherwise the console's own end does.
class StopOnSignal {
  public:
    StopOnSignal() {
        sigemptyset(&stop_signals_);
        sigaddset(&stop_signals_, SIGTERM);
        sigaddset(&stop_signals_, SIGINT);
        if (::pipe(pipe_) != 0) {
            std::cerr << "сигналы останова не принимаются: " << core::system_reason(errno) << "\n";
            return;
        }
        // A handler never waits on a full pipe: signals beyond a pipeful are one request anyway.
        for (int end : pipe_) {
            if (::fcntl(end, F_SETFD, FD_CLOEXEC) != 0) {
                std::cerr << "сигналы останова: " << core::system_reason(errno) << "\n";
            }
        }
        if (::fcntl(pipe_[1], F_SETFL, O_NONBLOCK) != 0) {
            std::cerr << "сигналы останова: " << core::system_reason(errno) << "\n";
        }
        stop_signal_pipe = pipe_[1];
        struct sigaction action = {};
        action.sa_handler = on_stop_signal;
        action.sa_flags = SA_RESTART;  // reads of standard input go on undisturbed
        sigemptyset(&action.sa_mask);
        // A reader of the console that went away (a pipe into head, a closed terminal
        // session) must not end a campaign: its lines are lost, the calls and files go on.
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        if (sigaction(SIGPIPE, &ignore, nullptr) != 0) {
            std::cerr << "SIGPIPE не отключен: " << core::system_reason(errno) << "\n";
        }
        if (sigaction(SIGTERM, &action, nullptr) != 0 || sigaction(SIGINT, &action, nullptr) != 0) {
            std::cerr << "сигналы останова не принимаются: " << core::system_reason(errno) << "\n";
            return;
        }
        // Held back in this thread and so in every thread it starts: only the watcher takes
        // them, in its wait on the pipe. A signal taken by a thread in a read of standard input
        // or of the link would interrupt it, and a tool that hooks signals (ThreadSanitizer)
        // runs the handler only once such a read returns: on a quiet console, never. Until the
        // watcher runs, a signal waits as pending and is not lost.
        int held = ::pthread_sigmask(SIG_BLOCK, &stop_signals(), nullptr);
        if (held != 0) {
            std::cerr << "сигналы останова: " << core::system_reason(held) << "\n";
        }
    }
    // Not the console's program (the window, --help and the like): the signals keep the
    // system's meaning, and one that came meanwhile takes it now.
    void forgo() {
        struct sigaction system = {};
        system.sa_handler = SIG_DFL;
        sigemptyset(&system.sa_mask);
        for (int signal : {SIGTERM, SIGINT, SIGPIPE}) {
            if (sigaction(signal, &system, nullptr) != 0) {
                std::cerr << "сигнал " << signal_name(signal)
                          << " не возвращен системе: " << core::system_reason(errno) << "\n";
            }
        }
        // One held back meanwhile now takes the system's meaning.
        int given = ::pthread_sigmask(SIG_UNBLOCK, &stop_signals(), nullptr);
        if (given != 0) {
            std::cerr << "сигналы останова: " << core::system_reason(given) << "\n";
        }
        pollfd came{pipe_[0], POLLIN, 0};
        char byte = 0;
        if (pipe_[0] >= 0 && ::poll(&came, 1, 0) == 1 && ::read(pipe_[0], &byte, 1) == 1) {
            ::raise(static_cast<unsigned char>(byte));
        }
    }
    // Whether a stop came before the program's work began (it is then acted on first thing
    // in watch): an autostart is then not even set, however quick the survey.
    bool came_already() {
        pollfd came{pipe_[0], POLLIN, 0};
        char byte = 0;
        if (pipe_[0] >= 0 && ::poll(&came, 1, 0) == 1 && ::read(pipe_[0], &byte, 1) == 1) {
            early_ = static_cast<unsigned char>(byte);
        }
        // Or one held back as pending: taken now, so that the watcher does not act on it twice.
        timespec at_once{0, 0};
        int pending = early_ == 0 ? ::sigtimedwait(&stop_signals(), nullptr, &at_once) : -1;
        if (pending > 0) {
            early_ = pending;
        }
        return early_ != 0;
    }
    void watch(ConsoleFrontEnd& console, station::Controller& controller) {
        if (pipe_[0] < 0) {
            return;
        }
        watcher_ =
            std::thread([this, &console, &controller] { watch_signals(console, controller); });
    }
    // Before the console goes: the watcher ends, woken through the pipe if it still waits.
    void end() {
        if (watcher_.joinable()) {
            ending_ = true;
            char byte = 0;
            if (::write(pipe_[1], &byte, 1) == 1) {
                watcher_.join();
            } else {
                watcher_.detach();
            }
        }
    }

  private:
    const sigset_t& stop_signals() const { return stop_signals_; }

    void act(int signal, ConsoleFrontEnd& console, station::Controller& controller) {
        std::string name = signal_name(signal);
        controller.state().service.stopping();
        console.request_end("Получен сигнал " + name + ": завершение работы",
                            "Остановлено сигналом " + name);
    }

    void watch_signals(ConsoleFrontEnd& console, station::Controller& controller) {
        int taken = ::pthread_sigmask(SIG_UNBLOCK, &stop_signals(), nullptr);
        if (taken != 0) {
            std::cerr << "сигналы останова: " << core::system_reason(taken) << "\n";
        }
        bool signalled = early_ != 0;
        if (signalled) {
            act(early_, console, controller);
        }
        for (;;) {
            // Once signalled, the work's end is looked at a few times a second.
            pollfd wait_for{pipe_[0], POLLIN, 0};
            int ready = ::poll(&wait_for, 1, signalled ? 200 : -1);
            if (ready < 0 && errno != EINTR) {
                std::cerr << "сигналы останова больше не принимаются: "
                          << core::system_reason(errno) << "\n";
                return;
            }
            if (ready > 0) {
                char byte = 0;
                ssize_t got = ::read(pipe_[0], &byte, 1);
                if (got != 1 && !ending_) {
                    std::cerr << "сигналы останова больше не принимаются: "
                              << core::system_reason(got < 0 ? errno : EPIPE) << "\n";
                }
                if (got != 1 || ending_) {
                    return;
                }
                act(static_cast<unsigned char>(byte), console, controller);
                signalled = true;
            }
            if (signalled && !controller.busy() && !console.input_ended()) {
                controller.exit_now(0, [&console, &controller] {
                    finish_console_output(console, controller);
                    restore_console();
                });
            }
        }
    }

    int pipe_[2] = {-1, -1};
    int early_ = 0;  // a signal that came before the work began
    sigset_t stop_signals_;
    std::atomic<bool> ending_{false};
    std::thread watcher_;
};
#else
// Windows: Ctrl+C keeps the system's meaning.
class StopOnSignal {
  public:
    void forgo() {}
    bool came_already() { return false; }
    void watch(ConsoleFrontEnd&, station::Controller&) {}
    void end() {}
};
#endif

int run_console(station::Controller& controller, Runtime& rt, const std::string& start_notes,
                bool autostart, StopOnSignal* stop_on_signal) {
#ifdef _WIN32
    ConsoleFrontEnd console(controller, rt.clock(), rt.virtual_clock(), std::cout);
#else
    // Standard output by a writer of its own: a reader that stopped reading cannot hold up a
    // stop.
    ConsoleFrontEnd console(controller, rt.clock(), rt.virtual_clock(), STDOUT_FILENO);
#endif
    bool stopped_already = stop_on_signal != nullptr && stop_on_signal->came_already();
    if (autostart && !stopped_already) {
        controller.set_autostart();
    }
    controller.start(console, start_notes);
    if (stop_on_signal != nullptr) {
        stop_on_signal->watch(console, controller);
    }
    int status = console.run(std::cin);
    if (stop_on_signal != nullptr) {
        stop_on_signal->end();
    }
    if (autostart && console.input_ended()) {
        status = unattended_status(controller);
    }
    // "quit" during work: as when the window closes, the workers end with the process.
    controller.end_program(status, [&console, &controller] {
        finish_console_output(console, controller);
        restore_console();
    });
    finish_console_output(console, controller);
    return status;
}

std::string settings_text(const Settings& in_force, const Settings& from_files,
                          const std::vector<std::string>& files) {
    std::string text;
    for (const std::string& key : settings_keys()) {
        const SettingValue& v = *in_force.find(key);
        text += key + " = " + shown_setting(key, v.value) + "   (" + v.source + ")\n";
    }
    text += "Файлы настроек:";
    for (const std::string& file : files) {
        std::error_code ec;
        std::string note = std::filesystem::exists(core::utf8_path(file), ec) ? "" : " (нет)";
        for (const auto& [unread, reason] : from_files.unread) {
            note = unread == file ? " (не прочитан: " + reason + ")" : note;
        }
        text += " " + file + note;
    }
    return text + (files.empty() ? " не читаются (--no-settings)\n" : "\n");
}

void add_note(std::string& notes, const std::string& note) {
    if (!note.empty()) {
        notes += (notes.empty() ? "" : "\n") + note;
    }
}

// Drive C: must be a folder the program may write: the marks and logs go there.
std::string root_problem(const std::string& root, const std::string& source) {
    std::error_code ec;
    if (!std::filesystem::is_directory(core::utf8_path(root), ec)) {
        return "Нет папки диска C: " + root + " (" + source + ")";
    }
#ifndef _WIN32
    if (::access(root.c_str(), W_OK) != 0) {
        return "Папка диска C: " + root + " (" + source +
               ") не доступна для записи: " + core::system_reason(errno);
    }
#endif
    return {};
}

// A shared campaign's rack is named HOST:PORT unless the settings name it.
void name_the_rack(ProgramOptions& options) {
    std::string& rack = options.program_settings["rack-name"];
    if (!rack.empty() || options.program_settings["campaign-db"].empty()) {
        return;
    }
    std::string host = "PC";
#ifdef _WIN32
    wchar_t name[256];
    DWORD size = 256;
    if (GetComputerNameW(name, &size)) {
        host = core::from_utf16(name, size);
    }
#else
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && name[0] != 0) {
        host = name;
    }
#endif
    rack = host + ":" + (options.rack_file.empty() ? options.port : "simulate");
}

// The campaign database's password in a settings file that others may read is theirs too.
std::string readable_password(const Settings& in_force) {
    const SettingValue* db = in_force.find("campaign-db");
    if (db == nullptr || (core::connection_value(db->value, "Pwd").empty() &&
                          core::connection_value(db->value, "Password").empty())) {
        return {};
    }
    std::string file = db->source.substr(0, db->source.rfind(", строка "));
    if (file == db->source || (core::file_mode(core::utf8_path(file)) & 0044) == 0) {
        return {};
    }
    return "В " + file +
           " пароль базы кампании (Pwd= или Password=), а файл могут читать другие: chmod 600 " +
           file;
}

}  // namespace

bool display_available() {
#ifdef _WIN32
    return true;
#else
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != 0) {
            return true;
        }
    }
    return false;
#endif
}

int program_main(int argc, char** argv, const station::ProgramInfo& info,
                 MakeController make_controller, RunWindow run_window, ShowRefusal show_refusal) {
    // First of all, so that a stop sent as the program starts is kept in the pipe and acted on
    // once the program runs; given back to the system below where the console is not asked
    // for.
    auto stop_on_signal = std::make_unique<StopOnSignal>();
    use_utf8_console();
    std::vector<std::string> args = utf8_arguments(argc, argv);
    std::string exe = executable_name(args.empty() ? nullptr : args[0].c_str());
    OptionsParse parsed = parse_program_options(
        args.empty() ? args : std::vector<std::string>(args.begin() + 1, args.end()));
    ProgramOptions options = parsed.options;
    if (!options.console) {
        stop_on_signal->forgo();
    }
    // Refused at start: on standard error, and in a box where the window would have opened.
    auto refuse = [&](const std::string& text) {
        std::cerr << exe << ": " << text << "\n";
        if (!options.console && show_refusal && display_available() && !shares_console()) {
            release_own_console();  // no empty console window beside the box
            show_refusal(argc, argv, text);
        }
        return 2;
    };
    if (!parsed.ok) {
        return refuse(parsed.error + "\nСправка: " + exe + " --help");
    }
    for (const OptionSpec& entry : program_option_table()) {
        if (entry.only_program != nullptr && options.given.count(entry.settings_key) != 0 &&
            program_key(info.name) != entry.only_program) {
            return refuse(std::string(entry.row.name) + " есть только у " +
                          (std::string(entry.only_program) == "inform" ? "Inform" : "Dialrun"));
        }
    }
    if (options.version) {
        std::cout << info.name << " Version 1.0\n";
        return 0;
    }
    if (options.help) {
        std::cout << program_usage(exe, info.title);
        return 0;
    }
    std::vector<std::string> files;
    Settings from_files;
    if (!options.no_settings) {
        files = settings_files(options.config);
        std::string error =
            load_settings(files, options.config, program_key(info.name), from_files);
        if (!error.empty()) {
            return refuse(error);
        }
    }
    Settings in_force = apply_settings(options, from_files);
    if (options.show_settings) {
        std::cout << settings_text(in_force, from_files, files);
        return 0;
    }
    if (!options.console && !display_available()) {
        std::cerr << exe << ": нет дисплея для окна (DISPLAY не задан). Без окна: " << exe
                  << " --console (справка: " << exe << " --help)\n";
        return 2;
    }
    if (program_key(info.name) == "dialrun") {
        std::string idle = retry_settings_without_retry(in_force);
        if (!idle.empty()) {
            return refuse(idle);
        }
        name_the_rack(options);
    }
    std::string own = own_file_refusal(options, program_key(info.name));
    if (!own.empty()) {
        return refuse(own);
    }
    std::string error;
    std::unique_ptr<Runtime> rt = Runtime::create(options, error);
    if (!rt) {
        return refuse(error);
    }
    // Said at once, not left to be found at "Старт".
    std::string start_notes = rt->port_error();
    for (const auto& [file, reason] : from_files.unread) {
        add_note(start_notes, "Файл настроек " + file + " не прочитан: " + reason);
    }
    add_note(start_notes, root_problem(options.root, in_force.find("root")->source));
    add_note(start_notes, readable_password(in_force));
    if (!start_notes.empty()) {
        std::cerr << exe << ": " << start_notes << "\n";
    }
    std::unique_ptr<station::Journal> journal;  // outlives the controller's threads
    auto controller = make_controller(rt->link(), rt->clock(), rt->drive(), rt->sound());
    journal = open_journal(options, program_key(info.name), rt->clock(),
                           controller->journal_rules(), rt->drive(), error);
    if (!error.empty()) {
        return refuse(error);
    }
    if (journal) {
        journal_settings(*journal, in_force);
        controller->set_journal(journal.get());
    }
    controller->set_reconnect(std::chrono::seconds(options.reconnect));
    std::string wrong = controller->take_settings(options.program_settings);
    if (!wrong.empty()) {
        return refuse(wrong);
    }
    // Its last version, "ended", is written as it goes, after the controller's work.
    std::unique_ptr<StatusFile> status_file =
        open_status_file(options, program_key(info.name), *controller, rt->clock());
    if (status_file) {
        std::string unwritten = status_file->start();
        if (!unwritten.empty()) {
            std::cerr << exe << ": " << unwritten << "\n";
            add_note(start_notes, unwritten);
        }
        controller->set_before_exit([&status_file] { status_file->finish(); });
    }
    if (options.console) {
        return run_console(*controller, *rt, start_notes, options.autostart, stop_on_signal.get());
    }
    release_own_console();
    if (options.autostart) {
        controller->set_autostart();
    }
    return run_window(argc, argv, *controller, start_notes);
}

}  // namespace program
