// boardsim: serves a simulated rack on a pseudo-terminal, so that a program started with
// --port <the printed path> talks to it through the real serial port class.

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/option_rows.h"
#include "base/system_reason.h"
#include "link/wire_trace.h"
#include "sim/rack.h"
#include "sim/sim_transport.h"
#include "time/real_clock.h"

namespace {

volatile std::sig_atomic_t stop_signal = 0;

void on_signal(int) {
    stop_signal = 1;
}

struct Options {
    std::string rack_file;
    std::string link;
    std::string trace;
    bool byte_time = false;
};

const char* const USAGE =
    "Использование: boardsim RACKFILE [--link PATH] [--byte-time] [--trace FILE]\n"
    "\n"
    "Имитатор стойки плат: отвечает на байты программы по псевдотерминалу.\n"
    "Первой строкой печатает путь подчиненной стороны (например /dev/pts/3);\n"
    "программу запускают с --port <этот путь>. Работает до SIGINT/SIGTERM.\n"
    "\n"
    "  RACKFILE       описание стойки, одна плата в строке (см. README)\n"
    "  --link PATH    создать также символическую ссылку PATH на псевдотерминал\n"
    "  --byte-time    отвечать с задержкой двух байтов на 9600 бод, как настоящая линия\n"
    "  --trace FILE   записывать байты: '< XX' принят стойкой, '> XX' ответ платы\n"
    "  --help         эта справка\n";

enum OptionIndex { LINK, BYTE_TIME, TRACE, HELP };
const std::vector<core::OptionRow> OPTIONS = {
    {"--link", "PATH", "создать также символическую ссылку PATH на псевдотерминал"},
    {"--byte-time", nullptr, "отвечать с задержкой двух байтов на 9600 бод"},
    {"--trace", "FILE", "записывать байты"},
    {"--help", nullptr, "эта справка"},
};

bool parse_options(int argc, char** argv, Options& options) {
    std::vector<std::string> operands;
    core::OptionsRead read = core::read_command_line(
        OPTIONS, std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), true, operands);
    for (const core::OptionFound& found : read.found) {
        switch (found.row) {
            case LINK:
                options.link = found.value;
                break;
            case BYTE_TIME:
                options.byte_time = true;
                break;
            case TRACE:
                options.trace = found.value;
                break;
            case HELP:
                std::fputs(USAGE, stdout);
                std::exit(0);
        }
    }
    if (read.fault != core::OptionFault::none) {
        std::fprintf(stderr, "boardsim: неверный параметр '%s'%s\n%s", read.argument.c_str(),
                     read.fault == core::OptionFault::no_value ? ": нет значения" : "", USAGE);
        return false;
    }
    if (operands.size() > 1) {
        std::fprintf(stderr, "boardsim: неверный параметр '%s'\n%s", operands[1].c_str(), USAGE);
        return false;
    }
    if (operands.empty()) {
        std::fprintf(stderr, "boardsim: не задан файл стойки\n%s", USAGE);
        return false;
    }
    options.rack_file = operands[0];
    return true;
}

// The master side of a new pty, with the slave kept open here as well: then the master never
// sees a hang-up when a program closes its end, and the line stays raw between programs.
bool open_pty(int& master, int& slave, std::string& slave_path) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        return false;
    }
    const char* name = ptsname(master);
    if (name == nullptr) {
        return false;
    }
    slave_path = name;
    slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        return false;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    return true;
}

// How long before a reply is due boardsim stops sleeping and watches the clock.
const core::Duration ON_TIME = std::chrono::microseconds(200);

void serve(int master, sim::Rack& rack, core::Clock& clock, core::WireTrace* trace,
           bool byte_time) {
    const core::Duration wire = byte_time ? 2 * sim::BYTE_TIME : core::Duration{0};
    const core::Duration late = std::chrono::milliseconds(2500);
    std::multimap<core::Duration, uint8_t> replies;
    while (stop_signal == 0) {
        // To the microsecond: a poll in whole milliseconds would answer up to 1 ms late,
        // a third of the wire time of a reply. The poll ends a little early and the last
        // stretch is watched on the clock, because a timer wakes an idle processor some
        // 0.1 ms late and a board's UART is not late.
        core::Duration left = std::chrono::milliseconds(200);
        if (!replies.empty()) {
            left = std::max(core::Duration{0}, replies.begin()->first - clock.now() - ON_TIME);
        }
        timespec timeout{static_cast<time_t>(left.count() / 1000000),
                         static_cast<long>(left.count() % 1000000) * 1000};
        pollfd p{master, POLLIN, 0};
        int ready = ::ppoll(&p, 1, &timeout, nullptr);
        if (ready > 0 && (p.revents & POLLIN) != 0) {
            uint8_t buffer[64];
            ssize_t n = ::read(master, buffer, sizeof buffer);
            const core::Duration arrived = clock.now();  // before the trace's disk write
            for (ssize_t i = 0; i < n; ++i) {
                if (trace != nullptr) {
                    trace->received(buffer[i]);
                }
                std::optional<sim::Reply> reply = rack.feed(buffer[i], arrived);
                if (reply) {
                    replies.emplace(arrived + (reply->late ? late : wire + reply->delay),
                                    reply->value);
                }
            }
        } else if (ready > 0) {
            clock.sleep_for(std::chrono::milliseconds(50));  // hang-up: never spin on it
        }
        if (!replies.empty() && replies.begin()->first - clock.now() <= ON_TIME) {
            while (clock.now() < replies.begin()->first) {
            }
        }
        while (!replies.empty() && replies.begin()->first <= clock.now()) {
            uint8_t value = replies.begin()->second;
            replies.erase(replies.begin());
            if (::write(master, &value, 1) == 1 && trace != nullptr) {
                trace->sent(value);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_options(argc, argv, options)) {
        return 2;
    }
    sim::RackParse parsed = sim::load_rack_file(options.rack_file);
    if (!parsed.ok) {
        std::fprintf(stderr, "boardsim: %s\n", parsed.error.c_str());
        return 2;
    }
    int master = -1;
    int slave = -1;
    std::string slave_path;
    if (!open_pty(master, slave, slave_path)) {
        std::fprintf(stderr, "boardsim: псевдотерминал не создан: %s\n",
                     core::system_reason(errno).c_str());
        return 1;
    }
    if (!options.link.empty()) {
        ::unlink(options.link.c_str());
        if (::symlink(slave_path.c_str(), options.link.c_str()) != 0) {
            std::fprintf(stderr, "boardsim: ссылка %s не создана: %s\n", options.link.c_str(),
                         core::system_reason(errno).c_str());
            return 1;
        }
    }
    core::RealClock clock;
    core::WireTrace trace(clock);
    if (!options.trace.empty()) {
        std::string error = trace.open(options.trace);
        if (!error.empty()) {
            std::fprintf(stderr, "boardsim: %s: %s\n", options.trace.c_str(), error.c_str());
            return 1;
        }
    }
    ::prctl(PR_SET_TIMERSLACK, 1UL);  // wake up on time, not up to 50 us late
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::printf("%s\n", slave_path.c_str());
    std::fflush(stdout);
    sim::Rack rack(parsed.rack);
    serve(master, rack, clock, options.trace.empty() ? nullptr : &trace, options.byte_time);
    if (!options.link.empty()) {
        ::unlink(options.link.c_str());
    }
    ::close(slave);
    ::close(master);
    return 0;
}
