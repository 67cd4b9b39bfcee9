// The link in real time, over a pseudo-terminal against boardsim emulating 9600-baud byte times:
//  - efficiency: a Dialrun campaign, beside the same campaign on the virtual clock (whose time
//    is exactly what the prescribed pauses and byte times allow);
//  - idle cost: processor time per minute of a campaign whose boards are all busy;
//  - deadline precision: time-outs measured against 2 s, 30 s and 59 s.
//
//   link_bench            (about two minutes)

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "console_front_end.h"
#include "dialrun_controller.h"
#include "real_clock.h"
#include "runtime.h"
#include "serial_port.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Boardsim {
    explicit Boardsim(const fs::path& rack) {
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::execl(BOARDSIM_PATH, "boardsim", rack.c_str(), "--byte-time",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        char line[256] = {};
        ssize_t n = ::read(out[0], line, sizeof line - 1);
        ::close(out[0]);
        pty.assign(line, n > 0 ? static_cast<size_t>(n) : 0);
        pty.erase(pty.find_last_not_of('\n') + 1);
    }
    ~Boardsim() {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    pid_t pid = -1;
    std::string pty;
};

double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double seconds = 0;  // on the program's clock, from start to the end of the run
    unsigned records = 0;
    int passes = 0;  // polls of K1
    double cpu = 0;
};

// A campaign through the console front end; commands after "start" as given. With
// leave_running the campaign is measured and left going (its boards never finish).
Run campaign(program::ProgramOptions options, const std::string& after_start,
             bool leave_running = false) {
    std::string error;
    auto runtime = program::Runtime::create(options, error);
    if (!runtime) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    auto* owned = new dialrun::DialrunController(runtime->link(), runtime->clock(),
                                                 runtime->drive(), runtime->sound());
    dialrun::DialrunController& controller = *owned;
    auto* null = new std::ofstream("/dev/null");
    auto* console_owned =
        new program::ConsoleFrontEnd(controller, runtime->clock(), runtime->virtual_clock(), *null);
    program::ConsoleFrontEnd& console = *console_owned;
    controller.start(console, runtime->port_error());
    std::istringstream survey("wait\n");
    console.run(survey);
    Run run;
    double cpu = cpu_seconds();
    core::Duration started = runtime->clock().now();
    std::istringstream rest("start\n" + after_start);
    console.run(rest);
    run.seconds = std::chrono::duration<double>(runtime->clock().now() - started).count();
    run.cpu = cpu_seconds() - cpu;
    run.records = controller.dialrun_form().list_total;
    if (leave_running) {
        runtime.release();  // the workers still use it; the process ends with them
        return run;
    }
    controller.close();
    delete console_owned;
    delete owned;
    delete null;
    std::ifstream trace(options.trace_file);
    bool engine = false;
    for (std::string line; std::getline(trace, line);) {
        engine = engine || line.find("> 81") != std::string::npos;  // CMD_SET_WAIT: the run
        run.passes += engine && line.size() > 6 && line.substr(line.size() - 4) == "> 00";
    }
    return run;
}

void write_list(const fs::path& root, int records) {
    std::ofstream list(root / "Ring.TXT", std::ios::binary);
    for (int i = 0; i < records; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%07d  %7d  \r\n", 4000000 + i, 1000 + i);
        list << line;
    }
    list << "\r\n";
}

double deadline_error(const std::string& pty, core::Duration limit) {
    core::RealClock clock;
    core::OpenedPort port = core::open_serial_port(pty, clock);
    if (!port.port) {
        return -1;
    }
    core::Link link(*port.port, clock);
    link.set_reply_limit(limit);
    link.send_select(7);  // an empty slot
    auto started = std::chrono::steady_clock::now();
    link.read_reply();
    auto took = std::chrono::steady_clock::now() - started;
    return std::chrono::duration<double, std::milli>(took - limit).count();
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    fs::path dir = fs::temp_directory_path() / ("link_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "calling.rack")
        << "K1 ring line busy=2\nK2 ring line busy=2 results=2\nK3 ring line busy=1\n"
           "K4 ring line busy=3 results=0,1\n";
    std::ofstream(dir / "busy.rack") << "K1 ring line busy=1000000\nK2 ring line busy=1000000\n"
                                        "K3 ring line busy=1000000\nK4 ring line busy=1000000\n";
    std::ofstream(dir / "empty.rack") << "K1 ring line\n";
    core::LocalTime ten;
    core::parse_local_time("2026-12-08T10:00:00", ten);

    std::printf("Link efficiency: a campaign of 40 records on 4 ring-round boards\n");
    program::ProgramOptions virtual_run;
    virtual_run.rack_file = (dir / "calling.rack").string();
    virtual_run.fast = true;
    virtual_run.time = ten;
    virtual_run.root = (dir / "virtual").string();
    virtual_run.trace_file = (dir / "virtual.trace").string();
    fs::create_directories(virtual_run.root);
    write_list(virtual_run.root, 40);
    Run minimum = campaign(virtual_run, "");

    Boardsim calling(dir / "calling.rack");
    program::ProgramOptions real_run;
    real_run.port = calling.pty;
    real_run.root = (dir / "real").string();
    real_run.trace_file = (dir / "real.trace").string();
    fs::create_directories(real_run.root);
    write_list(real_run.root, 40);
    Run real = campaign(real_run, "");
    std::printf("  %-28s %10s %10s %12s %12s\n", "", "seconds", "passes", "ms/pass", "ms/record");
    for (auto [name, r] :
         {std::pair{"minimum (pauses + bytes)", minimum}, std::pair{"pty + boardsim", real}}) {
        std::printf("  %-28s %10.2f %10d %12.1f %12.1f\n", name, r.seconds, r.passes,
                    1000 * r.seconds / std::max(1, r.passes),
                    1000 * r.seconds / std::max(1u, r.records));
    }
    std::printf("  real / minimum: %.3f (target: within 1.03)\n\n", real.seconds / minimum.seconds);

    std::printf("Deadline precision: time-outs on an empty slot over the pty\n");
    Boardsim silent1(dir / "empty.rack"), silent2(dir / "empty.rack"), silent3(dir / "empty.rack");
    double errors[3];
    std::thread t2([&] { errors[0] = deadline_error(silent1.pty, 2s); });
    std::thread t30([&] { errors[1] = deadline_error(silent2.pty, 30s); });
    std::thread t59([&] { errors[2] = deadline_error(silent3.pty, 59s); });
    t2.join();
    t30.join();
    t59.join();
    const char* names[] = {"2 s", "30 s", "59 s"};
    for (int i = 0; i < 3; ++i) {
        std::printf("  %-5s late by %7.2f ms (target: within 20 ms)\n", names[i], errors[i]);
    }
    std::printf("Idle cost: a campaign whose 4 boards stay busy, 20 s\n");
    Boardsim busy(dir / "busy.rack");
    program::ProgramOptions idle_run;
    idle_run.port = busy.pty;
    idle_run.root = (dir / "idle").string();
    idle_run.trace_file = (dir / "idle.trace").string();
    fs::create_directories(idle_run.root);
    write_list(idle_run.root, 10);
    Run idle = campaign(idle_run, "sleep 20\nquit\n", true);
    std::printf("  %.3f s of processor in %.1f s: %.2f %% of one core (target: under 1 %%)\n\n",
                idle.cpu, idle.seconds, 100 * idle.cpu / idle.seconds);

    fs::remove_all(dir);
    std::_Exit(0);  // the busy campaign's workers are still waiting on their boards
}
