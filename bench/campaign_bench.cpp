// Scale of a Dialrun campaign: a list of a million records on the simulated rack in virtual
// time, run once through the console front end and once through the window (offscreen, with
// its list models), each in its own process so that its peak memory is its own. A smaller
// list on the real disk shows what durable results cost beside the same run on tmpfs.
//
//   campaign_bench [--records N] [--sample N] [--fast-dir DIR] [--disk-dir DIR]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/runtime.h"
#include "console/console_front_end.h"
#include "dialrun/dialrun_window.h"

namespace fs = std::filesystem;

namespace {

const char* const RACK =
    "K1 ring line busy=0 results=1,2,0\nK2 ring line busy=1 results=1\n"
    "K3 ring line busy=0 results=0,1\nK4 ring line busy=0\nK5 ring line busy=2 results=2,1\n"
    "K6 ring line busy=0\nK7 ring line busy=0 results=1,1,3\nK8 ring line busy=0\n";

void prepare(const fs::path& dir, long records) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "rack.txt") << RACK;
    std::ofstream list(dir / "Ring.TXT", std::ios::binary);
    std::string buffer;
    char line[64];
    for (long i = 0; i < records; ++i) {
        char mark = i % 10 == 3 ? 'Y' : i % 10 == 7 ? 'N' : ' ';
        std::snprintf(line, sizeof line, "%07ld  %7ld %c\r\n", 1000000 + i, (i * 7919) % 999999,
                      mark);
        buffer += line;
        if (buffer.size() > (1 << 20)) {
            list << buffer;
            buffer.clear();
        }
    }
    list << buffer << "\r\n";
}

program::ProgramOptions options_for(const fs::path& dir) {
    program::ProgramOptions o;
    o.rack_file = (dir / "rack.txt").string();
    o.root = dir.string();
    o.fast = true;
    // A million records take about 20 hours of protocol time: start at midnight, with the
    // stop hour at its latest, 23.
    core::LocalTime midnight;
    core::parse_local_time("2026-12-08T00:00:00", midnight);
    o.time = midnight;
    return o;
}

// In the child: one campaign, then "marked seconds" on standard output.
int run_child(const std::string& mode, const fs::path& dir, int argc, char** argv) {
    std::string error;
    auto runtime = program::Runtime::create(options_for(dir), error);
    if (!runtime) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    dialrun::DialrunController controller(runtime->link(), runtime->clock(), runtime->drive(),
                                          runtime->sound());
    auto start = std::chrono::steady_clock::now();
    if (mode == "console") {
        std::ofstream null("/dev/null");
        program::ConsoleFrontEnd console(controller, runtime->clock(), runtime->virtual_clock(),
                                         null);
        controller.start(console, "");
        std::istringstream commands("set-stop 23\nwait\nstart\n");
        console.run(commands);
        controller.close();
    } else {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QApplication app(argc, argv);
        gui::ProgramWindow window(controller, runtime->port_error(), dialrun::window_setup());
        auto settle = [&] {
            while (controller.busy()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            }
        };
        settle();
        controller.program_command("set-stop", "23");
        qobject_cast<QPushButton*>(window.binding().control(1042))->click();
        settle();
        QCoreApplication::processEvents();
        controller.close();
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%u %.3f %s\n", controller.dialrun_form().list_total, seconds,
                core::format_local_time(runtime->clock().local_time(), "%H:%M").c_str());
    return 0;
}

struct Measure {
    unsigned records = 0;
    double seconds = 0;
    double peak_mb = 0;
    char program_time[8] = "";  // the PC clock at the end of the run
};

Measure run_measured(const char* self, const std::string& mode, const fs::path& dir) {
    int out[2];
    Measure m;
    if (::pipe(out) != 0) {
        return m;
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execl(self, self, "--child", mode.c_str(), dir.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    char text[128] = {};
    ssize_t n = ::read(out[0], text, sizeof text - 1);
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (n > 0) {
        std::sscanf(text, "%u %lf %7s", &m.records, &m.seconds, m.program_time);
    }
    m.peak_mb = usage.ru_maxrss / 1024.0;
    return m;
}

void report(const char* what, const Measure& m) {
    std::printf("%-34s %9u %9.1f %11.0f %9.1f %8s\n", what, m.records, m.seconds,
                m.seconds > 0 ? m.records / m.seconds : 0, m.peak_mb, m.program_time);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--child") {
        return run_child(argv[2], argv[3], argc, argv);
    }
    long records = 1000000;
    long sample = 20000;
    fs::path fast_dir = "/dev/shm/campaign_bench";
    fs::path disk_dir = fs::temp_directory_path() / "campaign_bench_disk";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--records")
            records = std::atol(argv[i + 1]);
        if (a == "--sample")
            sample = std::atol(argv[i + 1]);
        if (a == "--fast-dir")
            fast_dir = argv[i + 1];
        if (a == "--disk-dir")
            disk_dir = argv[i + 1];
    }
    std::printf(
        "Dialrun campaign, 8 ring-round boards, virtual time; records per second of real "
        "time\n\n%-34s %9s %9s %11s %9s\n",
        "run", "records", "seconds", "records/s", "peak MB");
    prepare(fast_dir, records);
    Measure console = run_measured(argv[0], "console", fast_dir);
    report("console, tmpfs", console);
    prepare(fast_dir, records);
    Measure window = run_measured(argv[0], "window", fast_dir);
    report("window with list models, tmpfs", window);
    prepare(fast_dir, sample);
    Measure small_fast = run_measured(argv[0], "console", fast_dir);
    report("console, tmpfs (sample)", small_fast);
    prepare(disk_dir, sample);
    Measure small_disk = run_measured(argv[0], "console", disk_dir);
    report("console, disk (sample)", small_disk);
    fs::remove_all(fast_dir);
    fs::remove_all(disk_dir);

    std::printf("\npeak memory / 256 MB target: console %.2f, window %.2f\n", console.peak_mb / 256,
                window.peak_mb / 256);
    std::printf("window time / console time: %.2f\n", window.seconds / console.seconds);
    std::printf("disk time / tmpfs time (durable results on disk): %.2f\n",
                small_disk.seconds / small_fast.seconds);
    return 0;
}
