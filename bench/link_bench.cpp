// The link in real time, over a pseudo-terminal against boardsim emulating 9600-baud byte times:
//  - efficiency: a Dialrun campaign, beside the same campaign on the virtual clock (whose time
//    is exactly what the prescribed pauses and byte times allow) and the floor of the machine
//    and the pty (those bytes replayed by a bare loop), once as the machine idles by default
//    and once with its processors kept out of deep idle;
//  - idle cost: processor time per minute of a campaign whose boards are all busy, beside
//    the same polls through the link alone, in both idle settings;
//  - deadline precision: time-outs measured against 2 s, 30 s and 59 s.
//
//   link_bench [efficiency] [deadlines] [idle]     (all three: about six minutes)

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "app/runtime.h"
#include "console/console_front_end.h"
#include "dialrun/dialrun_controller.h"
#include "link/serial_port.h"
#include "support/boardsim_process.h"
#include "support/midday_zone.h"
#include "time/real_clock.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// boardsim with 9600-baud byte times, and its own trace where one is named.
struct Boardsim : BoardsimProcess {
    explicit Boardsim(const fs::path& rack, const fs::path& trace = {})
        : BoardsimProcess(
              rack.string(),
              trace.empty() ? std::vector<std::string>{"--byte-time"}
                            : std::vector<std::string>{"--byte-time", "--trace", trace.string()}) {}
};

// Keeps every processor out of deep idle while it lives (the PM QoS request of Linux; needs
// root). On a virtual machine a timer or a pty wakes a halted processor some 0.1 ms late,
// several times an exchange.
struct WakeUpHeld {
    WakeUpHeld() {
        fd = ::open("/dev/cpu_dma_latency", O_WRONLY | O_CLOEXEC);
        int32_t zero = 0;
        if (fd >= 0 && ::write(fd, &zero, sizeof zero) != sizeof zero) {
            ::close(fd);
            fd = -1;
        }
    }
    ~WakeUpHeld() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int fd = -1;
};

// Mean lateness of a 3 ms sleep of the real clock, in microseconds.
double sleep_lateness() {
    core::RealClock clock;
    double late = 0;
    const int count = 200;
    for (int i = 0; i < count; ++i) {
        core::Duration until = clock.now() + std::chrono::milliseconds(3);
        clock.sleep_until(until);
        late += std::chrono::duration<double, std::micro>(clock.now() - until).count();
    }
    return late / count;
}

double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double seconds = 0;  // on the program's clock, from start to the end of the run
    unsigned records = 0;
    bool whole = false;  // every record of the list got its verdict: not ended by the stop hour
    int passes = 0;      // polls of K1
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
    const dialrun::DialrunForm& form = controller.dialrun_form();
    run.records = form.list_total;
    run.whole =
        form.record_total > 0 && form.notified_total + form.not_notified_total == form.record_total;
    if (leave_running) {
        runtime.release();  // the workers still use it; the process ends with them
        return run;
    }
    controller.close();
    delete console_owned;
    delete owned;
    delete null;
    return run;
}

// Polls of K1 in a trace: the program's own ("> " sent) or boardsim's ("< " taken in).
int count_passes(const std::string& path, const std::string& sent) {
    std::ifstream trace(path);
    bool engine = false;
    int passes = 0;
    for (std::string line; std::getline(trace, line);) {
        engine = engine || line.find(sent + "81") != std::string::npos;  // CMD_SET_WAIT: the run
        passes += engine && line.size() > 6 && line.substr(line.size() - 4) == sent + "00";
    }
    return passes;
}

struct TraceLine {
    double seconds;
    char direction;  // '>' sent, '<' received
    uint8_t value;
};

std::vector<TraceLine> read_trace(const std::string& path) {
    std::vector<TraceLine> lines;
    std::ifstream trace(path);
    for (std::string line; std::getline(trace, line);) {
        TraceLine t{};
        char direction = 0;
        unsigned value = 0;
        if (std::sscanf(line.c_str(), "%lf %c %x", &t.seconds, &direction, &value) == 3 &&
            (direction == '>' || direction == '<')) {
            t.direction = direction;
            t.value = static_cast<uint8_t>(value);
            lines.push_back(t);
        }
    }
    return lines;
}

// The engine's first byte: its first select, two lines before its first CMD_SET_WAIT.
size_t engine_start(const std::vector<TraceLine>& lines) {
    for (size_t i = 2; i < lines.size(); ++i) {
        if (lines[i].direction == '>' && lines[i].value == 0x81) {
            return i - 2;
        }
    }
    return lines.size();
}

// The floor of this machine and pty: the minimum run's bytes, with the gaps between them,
// replayed by a bare loop (no engine, files or front end) against a fresh boardsim. Its time
// runs from the engine's first byte to the last; mismatched replies are counted.
double replay_floor(const std::vector<TraceLine>& lines, const fs::path& rack, int& mismatches) {
    Boardsim board(rack);
    core::RealClock clock;
    core::OpenedPort opened = core::open_serial_port(board.path(), clock);
    if (!opened.port) {
        return -1;
    }
    core::Transport& port = *opened.port;
    const size_t first = engine_start(lines);
    for (size_t i = 0; i < first;
         ++i) {  // the survey, untimed: the boards as the engine found them
        if (lines[i].direction == '>') {
            port.write_byte(lines[i].value);
        } else {
            port.read_byte(clock.now() + std::chrono::seconds(1));
        }
    }
    mismatches = 0;
    const core::Duration started = clock.now();
    core::Duration last_event = started;
    for (size_t i = first; i < lines.size(); ++i) {
        // Stamps are in whole milliseconds, and every pause is a whole number of them.
        core::Duration gap = std::chrono::milliseconds(
            i == first ? 0 : std::lround(1000 * (lines[i].seconds - lines[i - 1].seconds)));
        if (lines[i].direction == '>') {
            clock.sleep_until(last_event + gap);
            port.write_byte(lines[i].value);
        } else {
            if (gap >= std::chrono::milliseconds(4)) {  // read after a pause, not at once
                clock.sleep_until(last_event + gap);
            }
            core::ReadResult r = port.read_byte(clock.now() + std::chrono::seconds(1));
            mismatches += r.kind != core::ReadResult::Kind::byte || r.value != lines[i].value;
        }
        last_event = clock.now();
    }
    return std::chrono::duration<double>(clock.now() - started).count();
}

double span_seconds(const std::vector<TraceLine>& lines) {
    size_t first = engine_start(lines);
    return first < lines.size() ? lines.back().seconds - lines[first].seconds : 0;
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

void efficiency(const fs::path& dir) {
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
    minimum.passes = count_passes(virtual_run.trace_file, "> ");
    const std::vector<TraceLine> minimum_bytes = read_trace(virtual_run.trace_file);
    const double minimum_span = span_seconds(minimum_bytes);

    // The program runs as operators run it, without its trace; boardsim's trace, written
    // while the reply waits out its wire time, counts the passes.
    int serial = 0;
    auto real_campaign = [&] {
        std::string name = "real" + std::to_string(++serial);
        Boardsim calling(dir / "calling.rack", dir / (name + ".trace"));
        program::ProgramOptions real_run;
        real_run.port = calling.path();
        real_run.root = (dir / name).string();
        fs::create_directories(real_run.root);
        write_list(real_run.root, 40);
        Run run = campaign(real_run, "");
        run.passes = count_passes((dir / (name + ".trace")).string(), "< ");
        return run;
    };
    auto median_of_three = [&] {
        Run runs[] = {real_campaign(), real_campaign(), real_campaign()};
        std::sort(std::begin(runs), std::end(runs),
                  [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
        Run median = runs[1];
        median.whole = runs[0].whole && runs[1].whole && runs[2].whole;
        return median;
    };
    int mismatches = 0;
    auto floor_of_three = [&] {
        double spans[3];
        for (double& span : spans) {
            int wrong = 0;
            span = replay_floor(minimum_bytes, dir / "calling.rack", wrong);
            mismatches += wrong;
        }
        std::sort(std::begin(spans), std::end(spans));
        return spans[1];
    };
    double late_default = sleep_lateness();
    double floor_default = floor_of_three();
    Run real = median_of_three();
    Run held;
    double late_held = 0;
    double floor_held = 0;
    bool could_hold = false;
    {
        WakeUpHeld hold;
        could_hold = hold.fd >= 0;
        late_held = sleep_lateness();
        floor_held = floor_of_three();
        held = median_of_three();
    }
    std::printf("  %-34s %8s %7s %8s %10s %9s %9s\n", "", "seconds", "passes", "ms/pass",
                "ms/record", "/minimum", "3ms late");
    auto row = [&](const char* name, const Run& r, double late) {
        std::printf("  %-34s %8.2f %7d %8.1f %10.1f %9.3f %6.0f us\n", name, r.seconds, r.passes,
                    1000 * r.seconds / std::max(1, r.passes),
                    1000 * r.seconds / std::max(1u, r.records), r.seconds / minimum.seconds, late);
    };
    auto floor_row = [&](const char* name, double span, double late) {
        std::printf("  %-34s %8.2f %7s %8s %10s %9.3f %6.0f us\n", name, span, "", "", "",
                    span / minimum_span, late);
    };
    row("minimum (pauses + bytes)", minimum, 0);
    floor_row("floor: its bytes by a bare loop", floor_default, late_default);
    row("Dialrun over pty + boardsim", real, late_default);
    if (could_hold) {
        std::printf("  processors kept out of deep idle:\n");
        floor_row("floor: its bytes by a bare loop", floor_held, late_held);
        row("Dialrun over pty + boardsim", held, late_held);
    } else {
        std::printf("  (processors not kept out of deep idle: /dev/cpu_dma_latency needs root)\n");
    }
    // A campaign cut short (the stop hour, a board that stopped answering) is no measurement.
    if (!minimum.whole || !real.whole || (could_hold && !held.whole)) {
        std::printf("  Dialrun / floor: not given: a campaign ended before the end of its list\n");
    } else {
        std::printf("  Dialrun / floor: %.3f",
                    (real.seconds / minimum.seconds) / (floor_default / minimum_span));
        if (could_hold) {
            std::printf(", kept out of deep idle %.3f",
                        (held.seconds / minimum.seconds) / (floor_held / minimum_span));
        }
        std::printf("%s\n",
                    mismatches == 0 ? "" : "  (the floor's replies differed: see boardsim)");
    }
    std::printf(
        "  Medians of 3 runs. Target: within 1.03 of the minimum. The floor times the engine's "
        "first byte to its last;\n  \"3ms late\" is how late a 3 ms sleep wakes, measured "
        "beside each row.\n\n");
}

void deadline_precision(const fs::path& dir) {
    std::printf("Deadline precision: time-outs on an empty slot over the pty\n");
    Boardsim silent1(dir / "empty.rack"), silent2(dir / "empty.rack"), silent3(dir / "empty.rack");
    double errors[3];
    std::thread t2([&] { errors[0] = deadline_error(silent1.path(), 2s); });
    std::thread t30([&] { errors[1] = deadline_error(silent2.path(), 30s); });
    std::thread t59([&] { errors[2] = deadline_error(silent3.path(), 59s); });
    t2.join();
    t30.join();
    t59.join();
    const char* names[] = {"2 s", "30 s", "59 s"};
    for (int i = 0; i < 3; ++i) {
        std::printf("  %-5s late by %7.2f ms (target: within 20 ms)\n", names[i], errors[i]);
    }
}

// The floor of the idle cost: the same polls of four boards (10 ms, select, 4 ms, reply)
// through the link alone, with no engine, log or front end; a share of one core.
double bare_polls(const fs::path& rack, core::Duration length) {
    Boardsim board(rack);
    core::RealClock clock;
    core::OpenedPort opened = core::open_serial_port(board.path(), clock);
    if (!opened.port) {
        return -1;
    }
    core::Link link(*opened.port, clock);
    const double cpu = cpu_seconds();
    const core::Duration end = clock.now() + length;
    while (clock.now() < end) {
        for (uint8_t k = 0; k < 4; ++k) {
            link.pause(std::chrono::milliseconds(10));
            link.send_select(k);
            link.pause(std::chrono::milliseconds(4));
            link.read_reply();
        }
    }
    return (cpu_seconds() - cpu) / std::chrono::duration<double>(length).count();
}

// The campaign runs as operators run it, without the trace, and is left running, since its
// boards never finish: each measurement has a process of its own, which ends with it.
void idle_share(const fs::path& dir, const char* name, bool hold_wake_up) {
    pid_t child = ::fork();
    if (child != 0) {
        ::waitpid(child, nullptr, 0);
        return;
    }
    std::optional<WakeUpHeld> hold;
    if (hold_wake_up && hold.emplace().fd < 0) {
        std::printf("  (processors not kept out of deep idle: /dev/cpu_dma_latency needs root)\n");
        std::_Exit(0);
    }
    std::printf("  %s\n", name);
    double floor = bare_polls(dir / "busy.rack", std::chrono::seconds(30));
    std::printf("    bare polls through the link alone, 30 s: %5.2f %% of one core\n", 100 * floor);
    Boardsim busy(dir / "busy.rack");
    program::ProgramOptions idle_run;
    idle_run.port = busy.path();
    idle_run.root = (dir / (std::string("idle") + (hold_wake_up ? "-held" : ""))).string();
    fs::create_directories(idle_run.root);
    write_list(idle_run.root, 10);
    Run idle = campaign(idle_run, "sleep 60\nquit\n", true);
    std::printf("    a Dialrun campaign, 60 s:                %5.2f %% of one core (%.3f s)\n",
                100 * idle.cpu / idle.seconds, idle.cpu);
    std::_Exit(0);  // the campaign's workers are still waiting on their boards
}

void idle_cost(const fs::path& dir) {
    std::printf("Idle cost: four boards that stay busy, polled (target: under 1 %% of one core)\n");
    idle_share(dir, "as the machine idles by default:", false);
    idle_share(dir, "processors kept out of deep idle:", true);
    std::printf("\n");
}

const char* const USAGE =
    "link_bench [efficiency] [deadlines] [idle]\n"
    "  the link in real time over a pseudo-terminal against boardsim --byte-time;\n"
    "  without arguments all three parts (about six minutes)\n";

}  // namespace

int main(int argc, char** argv) {
    std::set<std::string> parts(argv + 1, argv + argc);
    for (const std::string& part : parts) {
        if (part != "efficiency" && part != "deadlines" && part != "idle") {
            std::fputs(USAGE, part == "--help" ? stdout : stderr);
            return part == "--help" ? 0 : 2;
        }
    }
    auto wanted = [&](const char* part) { return parts.empty() || parts.count(part) != 0; };
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // The campaigns run on the real clock: in a zone where it is midday, the stop hour (22)
    // cannot end one at once, whenever the bench is run.
    ::setenv("TZ", midday_zone().c_str(), 1);
    ::tzset();
    std::printf("Local time for the campaigns: 12:00 to 13:00 (TZ=%s)\n\n", std::getenv("TZ"));
    fs::path dir = fs::temp_directory_path() / ("link_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "calling.rack")
        << "K1 ring line busy=2\nK2 ring line busy=2 results=2\nK3 ring line busy=1\n"
           "K4 ring line busy=3 results=0,1\n";
    std::ofstream(dir / "busy.rack") << "K1 ring line busy=1000000\nK2 ring line busy=1000000\n"
                                        "K3 ring line busy=1000000\nK4 ring line busy=1000000\n";
    std::ofstream(dir / "empty.rack") << "K1 ring line\n";

    if (wanted("efficiency")) {
        efficiency(dir);
    }
    if (wanted("deadlines")) {
        deadline_precision(dir);
    }
    if (wanted("idle")) {
        idle_cost(dir);
    }
    fs::remove_all(dir);
    return 0;
}
