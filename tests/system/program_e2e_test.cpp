// The programs themselves, as an operator or a script starts them.

#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "support/boardsim_process.h"
#include "support/midday_zone.h"
#include "support/program_run.h"
#include "support/signal_phases.h"
#include "support/temp_root.h"

namespace {

// Whether some process holds the lock our programs take on a port (as /proc/locks lists it):
// the holder is then past its open, whatever the machine's load.
bool port_locked(const std::string& port) {
    struct stat st {};
    if (::stat(port.c_str(), &st) != 0) {
        return false;
    }
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            if (word == id) {
                return true;
            }
        }
    }
    return false;
}

std::string write_file(const std::string& name, const std::string& text) {
    std::string path = temp_path(name);
    std::ofstream(path) << text;
    return path;
}

bool has_line(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

}  // namespace

TEST(ProgramEndToEnd, SurveysARackOnAPtyThroughTheRealPort) {
    BoardsimOnRack boardsim(
        "K1 ring line\nK2 ring line\nK3 informer noline\nK4 time line\n"
        "K5 dtmf line\nK6 ring line\nK7 mode=0x50 line\nK8 dtmf line\n");
    ASSERT_FALSE(boardsim.path().empty());
    Outcome o = run({PINREAD_PATH, "--console", "--port", boardsim.path()}, "wait\nshow\n");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(has_line(o.out, "row\tK3\t1\t0\tАвтоинформатор")) << o.out;
    EXPECT_TRUE(has_line(o.out, "row\tK5\t1\t1\tПрием DTMF-кода ")) << o.out;
    EXPECT_TRUE(has_line(o.out, "row\tK7\t1\t1\tНеверный режим")) << o.out;
    EXPECT_TRUE(has_line(o.out, "status\t Ожидание старта или записи режима DTMF ")) << o.out;
    EXPECT_TRUE(has_line(o.out, "show\tlink_state\t0")) << o.out;
}

TEST(ProgramEndToEnd, APortThatCannotBeOpenedIsNamedInTheLog) {
    Outcome first = run({INFORM_PATH, "--console", "--port", "/dev/no-such-tty"}, "quit\n");
    EXPECT_EQ(first.status, 0);
    // The reason, then the ports the system has, in the log and on standard error alike.
    const std::string line = "Порт /dev/no-such-tty не открыт: нет такого файла или папки; ";
    EXPECT_NE(first.out.find("log\t" + line), std::string::npos) << first.out;
    EXPECT_NE(first.err.find(line), std::string::npos) << first.err;

    // A user outside the port's group is told which group and how to join it.
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    std::string device = write_file("e2e_device", "");
    const std::string group = ::getgrgid(20) != nullptr ? ::getgrgid(20)->gr_name : "?";
    const struct {
        gid_t gid;  // 20: the group dialout has on Debian
        mode_t mode;
        std::string advice;
    } ports[] = {
        {20, 0660,
         "порт принадлежит группе " + group + ": выполните sudo usermod -aG " + group +
             " nobody и войдите в систему заново"},
        {0, 0600, "доступ к этому порту может дать только администратор"},
        {0, 0660, "доступ к этому порту может дать только администратор"},
        {20, 0640, "доступ к этому порту может дать только администратор"},
    };
    for (const auto& port : ports) {
        ASSERT_EQ(::chown(device.c_str(), 0, port.gid), 0);
        ASSERT_EQ(::chmod(device.c_str(), port.mode), 0);
        Outcome refused =
            run({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                 DIALRUN_PATH, "--no-settings", "--console", "--root", "/tmp", "--port", device},
                "quit\n", {}, {}, true);
        EXPECT_NE(refused.err.find("не открыт: нет доступа; " + port.advice), std::string::npos)
            << refused.err << refused.out;
        EXPECT_EQ(refused.err.find("usermod -aG root"), std::string::npos) << refused.err;
    }
    std::remove(device.c_str());
}

TEST(ProgramEndToEnd, OptionsHelpVersionAndRefusals) {
    for (const char* program : {DIALRUN_PATH, PINREAD_PATH, INFORM_PATH}) {
        Outcome help = run({program, "--help"}, "");
        EXPECT_EQ(help.status, 0);
        for (const char* option : {"--port", "--root", "--simulate", "--fast", "--time", "--trace",
                                   "--console", "--config", "--no-settings", "--show-settings",
                                   "/etc/boardrack.conf", "--version", "--help", "--reconnect",
                                   "--journal", "--status-file", "--clock-check", "[dialrun]"}) {
            EXPECT_NE(help.out.find(option), std::string::npos) << program << " " << option;
        }
    }
    EXPECT_EQ(run({DIALRUN_PATH, "--version"}, "").out, "Dialrun Version 1.0\n");
    EXPECT_EQ(run({INFORM_PATH, "--version"}, "").out, "Inform Version 1.0\n");

    Outcome no_display = run({DIALRUN_PATH, "--simulate", write_file("e2e_empty.rack", "")}, "",
                             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
    EXPECT_EQ(no_display.status, 2);
    EXPECT_EQ(std::count(no_display.err.begin(), no_display.err.end(), '\n'), 1) << no_display.err;
    EXPECT_NE(no_display.err.find("--console"), std::string::npos);

    std::string bad_rack = write_file("e2e_bad.rack", "K1 ring\nK2 ring busy=x\n");
    Outcome bad = run({PINREAD_PATH, "--console", "--simulate", bad_rack}, "");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find(bad_rack + ", строка 2: неверное значение 'busy=x'"), std::string::npos)
        << bad.err;
    Outcome bad_option = run({INFORM_PATH, "--console", "--fast"}, "");
    EXPECT_EQ(bad_option.status, 2);
    EXPECT_NE(bad_option.err.find("--fast работает только с --simulate"), std::string::npos);
    bad_option = run({PINREAD_PATH, "--console", "--clock-check", "warn"}, "");
    EXPECT_EQ(bad_option.status, 2);
    EXPECT_NE(bad_option.err.find("--clock-check есть только у Inform"), std::string::npos);

    // Window settings that could never act: 2 before any "Старт", not the 1 that asks a
    // service manager to start the program again.
    std::string ring_rack = write_file("e2e_window.rack", "K1 ring line\n");
    // A campaign not begun yet: its logs and attempts are not there, and still its own.
    std::string fresh = temp_path("e2e_fresh_campaign");
    std::filesystem::create_directories(fresh);
    for (const auto& [settings, said] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--call-days", "1-5"}, "call-days без call-start не действует"},
             {{"--call-start", "9", "--stop-hour", "9"}, "Пустое окно прозвонки: час \"Стоп\" 9"},
             // The rounds' settings without the rounds.
             {{"--retry-gap", "30"},
              "retry-gap без retry не действует: нужен retry, сколько звонков всего (больше 1)"},
             {{"--retry", "1", "--retry-gap", "30", "--retry-marks", "Z"},
              "retry-gap и retry-marks без retry не действуют: нужен retry"},
             {{"--config", write_file("e2e_gap.conf", "[dialrun]\nretry-marks = N\n")},
              "retry-marks без retry не действует"},
             // A file written over is never the rack's or the campaign's own.
             {{"--status-file", ring_rack}, "файл прозвонки или стойки, он был бы затерт"},
             {{"--trace", ring_rack}, "файл прозвонки или стойки, он был бы затерт"},
             {{"--root", fresh, "--status-file", fresh + "//RINGN.txt"},
              "файл прозвонки или стойки, он был бы затерт"},
             {{"--root", fresh + "/", "--trace", fresh + "/./ring.txt.ATTEMPTS"},
              "файл прозвонки или стойки, он был бы затерт"}}) {
        std::vector<std::string> args = {DIALRUN_PATH, "--console", "--autostart", "--simulate",
                                         ring_rack};
        args.insert(args.end(), settings.begin(), settings.end());
        // Read from a settings file only where one is named, and never the machine's own.
        bool files = std::find(settings.begin(), settings.end(), "--config") != settings.end();
        Outcome refused =
            run(args, "", {}, {{"XDG_CONFIG_HOME", temp_path("e2e_no_config")}}, files);
        EXPECT_EQ(refused.status, 2) << said;
        EXPECT_NE(refused.err.find(said), std::string::npos) << refused.err;
    }
}

TEST(ProgramEndToEnd, SettingsFilesGiveThePortAndTheFolderAndABadLineIsRefused) {
    std::string config_home = temp_path("e2e_config");
    std::filesystem::create_directories(config_home);
    std::ofstream(config_home + "/boardrack.conf") << "# the user's\nport = /dev/ttyUSB3\n";
    std::string extra = write_file(
        "e2e_extra.conf", "  root=/tmp  \n\n[dialrun]\nreconnect = 30\n[inform]\nreconnect = 5\n");
    Outcome shown = run({DIALRUN_PATH, "--show-settings", "--config", extra}, "", {},
                        {{"XDG_CONFIG_HOME", config_home}}, true);
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_TRUE(
        has_line(shown.out, "port = /dev/ttyUSB3   (" + config_home + "/boardrack.conf, строка 2)"))
        << shown.out;
    EXPECT_TRUE(has_line(shown.out, "root = /tmp   (" + extra + ", строка 1)")) << shown.out;
    EXPECT_TRUE(has_line(shown.out, "reconnect = 30   (" + extra + ", строка 4)")) << shown.out;
    EXPECT_TRUE(has_line(shown.out, "journal = no   (по умолчанию)")) << shown.out;
    // The command line over every file; --no-settings reads none.
    shown = run({DIALRUN_PATH, "--show-settings", "--root", "/srv"}, "", {},
                {{"XDG_CONFIG_HOME", config_home}}, true);
    EXPECT_TRUE(has_line(shown.out, "root = /srv   (параметр --root)")) << shown.out;
    shown = run({DIALRUN_PATH, "--show-settings", "--no-settings"}, "", {},
                {{"XDG_CONFIG_HOME", config_home}}, true);
    EXPECT_TRUE(has_line(shown.out, "port = /dev/ttyS0   (по умолчанию)")) << shown.out;

    std::string bad = write_file("e2e_bad.conf", "port = /dev/ttyUSB0\nroot /srv/rack\n");
    Outcome refused = run({INFORM_PATH, "--console", "--config", bad}, "", {}, {}, true);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find(bad + ", строка 2: нужно \"ключ = значение\""), std::string::npos)
        << refused.err;

    // A folder for drive C: that is not there is said at once, in the log.
    Outcome missing = run({PINREAD_PATH, "--console", "--simulate", write_file("e2e_none.rack", ""),
                           "--fast", "--root", "/no/such/folder"},
                          "quit\n");
    EXPECT_TRUE(has_line(missing.out, "log\tНет папки диска C: /no/such/folder (параметр --root)"))
        << missing.out;
    std::filesystem::remove_all(config_home);
}

// Under --fast the PC's clock keeps its zone's summer time: two minutes of calls from 01:59
// on the last Sunday of March end at 03:01. The zone is pinned, rules and all.
TEST(ProgramEndToEnd, FastClockKeepsTheZonesSummerTime) {
    std::string root = temp_path("e2e_summer");
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::ofstream(root + "/Ring.TXT", std::ios::binary)
        << "4000000     1000  \r\n4000111     1001  \r\n\r\n";
    Outcome o = run(
        {DIALRUN_PATH, "--console", "--fast", "--time", "2026-03-29T01:59:00", "--stop-hour", "23",
         "--root", root, "--simulate", write_file("e2e_summer.rack", "K1 ring line busy=100000\n")},
        "wait\nstart\nsleep 120\nstop\nshow\nquit\n", {}, {{"TZ", "CET-1CEST,M3.5.0,M10.5.0/3"}});
    EXPECT_TRUE(has_line(o.out, "show\tstart_stamp\t 29-03  01:59")) << o.out;
    EXPECT_TRUE(has_line(o.out, "show\tstop_stamp\t 29-03  03:01")) << o.out;
    std::filesystem::remove_all(root);
}

TEST(ProgramEndToEnd, FastTraceShowsAnAbsentBoardsDeadline) {
    std::string trace = temp_path("e2e_trace.txt");
    Outcome o = run({DIALRUN_PATH, "--console", "--fast", "--trace", trace, "--simulate",
                     write_file("e2e_k2.rack", "K2 ring line\n")},
                    "");
    EXPECT_EQ(o.status, 0) << o.err;
    std::vector<std::string> lines = file_lines(trace);
    ASSERT_GE(lines.size(), 3u);
    // K1 is absent: its select at 0, K2's select after the 2 s deadline and 100 ms pause.
    EXPECT_EQ(lines[0], "0.000 > 00");
    EXPECT_EQ(lines[1], "2.100 > 01");
    EXPECT_EQ(lines[2], "2.102 < 21");
    std::remove(trace.c_str());
}

TEST(ProgramEndToEnd, ACampaignThroughTheConsoleAgreesWithTheWireTrace) {
    std::string root = temp_path("e2e_campaign");
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::string list;
    for (int i = 0; i < 6; ++i) {
        list += std::to_string(4000000 + 111 * i) + "     " + std::to_string(1000 + i) + "  \r\n";
    }
    std::ofstream(root + "/ring.txt", std::ios::binary) << list << "\r\n";  // any letter case
    std::string trace = root + "/trace.txt";
    Outcome o =
        run({DIALRUN_PATH, "--console", "--fast", "--time", "2026-12-08T09:00:00", "--root", root,
             "--trace", trace, "--simulate",
             write_file("e2e_ring.rack", "K1 ring line results=1,2\nK2 ring line results=0\n")},
            "wait\nstart\n");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(has_line(o.out, "status\t Завершение прозвонки абонентов ! ")) << o.out;
    EXPECT_TRUE(has_line(o.out, "list\tСписок\t4000000   ")) << o.out;
    // Each CMD_NUMBER in the trace is followed by the payload of one record of the list.
    std::ifstream in(trace);
    std::vector<std::string> sent;
    for (std::string line; std::getline(in, line);) {
        if (line.find(" > ") != std::string::npos) {
            sent.push_back(line.substr(line.size() - 2));
        }
    }
    std::vector<std::string> numbers;
    for (size_t i = 0; i + 8 < sent.size(); ++i) {
        if (sent[i] == "57") {
            std::string digits = sent[i + 5].substr(1) + sent[i + 6] + sent[i + 7] + sent[i + 8];
            numbers.push_back(digits);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers, (std::vector<std::string>{"4000000", "4000111", "4000222", "4000333",
                                                 "4000444", "4000555"}));
    std::ifstream marked(root + "/ring.txt", std::ios::binary);
    std::stringstream after;
    after << marked.rdbuf();
    int y = 0, n = 0;
    for (size_t i = 17; i < 120; i += 20) {
        (after.str()[i] == 'Y' ? y : n)++;
    }
    std::ifstream ringy(root + "/RINGY.txt", std::ios::binary),
        ringn(root + "/RINGN.txt", std::ios::binary);
    std::stringstream ytext, ntext;
    ytext << ringy.rdbuf();
    ntext << ringn.rdbuf();
    EXPECT_EQ(ytext.str().size(), 70u * y);
    EXPECT_EQ(ntext.str().size(), 70u * n);
    EXPECT_EQ(y + n, 6);
    std::filesystem::remove_all(root);
}

TEST(ProgramEndToEnd, APortThatVanishesMidRunIsReportedOnceAndEndsTheRun) {
    BoardsimOnRack boardsim(
        "K1 informer line message-time=0.2\nK2 ring line\nK3 ring line\nK4 ring line\n"
        "K5 ring line\nK6 ring line\nK7 ring line\nK8 ring line\n");
    ASSERT_FALSE(boardsim.path().empty());
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        boardsim.stop();
    });
    Outcome o = run({INFORM_PATH, "--console", "--port", boardsim.path()}, "wait\nstart\n");
    unplug.join();
    EXPECT_EQ(o.status, 0) << o.err;
    size_t reports = 0;
    for (size_t at = 0;
         (at = o.out.find("log\tОбрыв связи с портом " + boardsim.path(), at)) != std::string::npos;
         ++at) {
        ++reports;
    }
    EXPECT_EQ(reports, 1u) << o.out;
    EXPECT_TRUE(has_line(o.out, "log\tОстанов Автоинформатора")) << o.out;
    EXPECT_TRUE(has_line(o.out, "status\t Автоинформатор остановлен ! ")) << o.out;
    // Waiting on a dead port costs its deadline, not the processor.
    EXPECT_LT(o.cpu_seconds, 0.05 * o.wall_seconds + 0.3)
        << o.cpu_seconds << " s of CPU in " << o.wall_seconds << " s";
}

TEST(ProgramEndToEnd, APortHeldByAnotherProgramIsRefusedNamingIt) {
    BoardsimOnRack boardsim("K1 ring line\n");
    ASSERT_FALSE(boardsim.path().empty());
    Outcome first;
    std::thread holder([&] {
        first = run({PINREAD_PATH, "--console", "--port", boardsim.path()}, "sleep 10\nquit\n");
    });
    auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!port_locked(boardsim.path()) && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(port_locked(boardsim.path())) << "Pinread did not take the port";
    Outcome second = run({DIALRUN_PATH, "--console", "--port", boardsim.path()}, "quit\n");
    EXPECT_TRUE(port_locked(boardsim.path())) << "Pinread let go before Dialrun tried the port";
    holder.join();
    EXPECT_TRUE(has_line(
        second.out, "log\tПорт " + boardsim.path() + " не открыт: порт занят другой программой"))
        << second.out;
    EXPECT_TRUE(has_line(first.out, "row\tK1\t1\t1\tПрозвонка")) << first.out;
}

// --autostart with input at its end: the program presses its own "Старт" after the survey
// and exits with how its run ended, as a service manager reads it.
TEST(ProgramEndToEnd, AutostartRunsUnattendedAndSaysHowTheRunEnded) {
    std::string root = ::testing::TempDir() + "/e2e_autostart_" + std::to_string(::getpid());
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    auto list = [&] {
        std::ofstream(root + "/Ring.TXT", std::ios::binary)
            << "4000000     1000  \r\n4000111     1001  \r\n4000222     1002  \r\n\r\n";
    };
    auto unattended = [&](const std::string& rack) {
        return run(
            {DIALRUN_PATH, "--console", "--fast", "--time", "2026-12-08T09:00:00", "--autostart",
             "--root", root, "--simulate", write_file("e2e_autostart.rack", rack)},
            "");
    };
    list();
    Outcome done = unattended("K1 ring line results=1\n");
    EXPECT_EQ(done.status, 0) << done.out;
    EXPECT_TRUE(has_line(done.out, "status\t Завершение прозвонки абонентов ! ")) << done.out;
    std::ifstream marked(root + "/Ring.TXT", std::ios::binary);
    std::string marks((std::istreambuf_iterator<char>(marked)), {});
    EXPECT_EQ(marks, "4000000     1000 Y\r\n4000111     1001 Y\r\n4000222     1002 Y\r\n\r\n");

    // Refused at its own start: said in the log, never in a box, and the status is 1.
    list();
    Outcome refused = unattended("K1 informer line\n");
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(has_line(refused.out, "log\tНет канала прозвонки !")) << refused.out;
    EXPECT_EQ(refused.out.find("box\t"), std::string::npos) << refused.out;

    // A board that stops answering ends the run: 1, so that the program is started again.
    list();
    Outcome lost = unattended("K1 ring line results=1 silent-after=20\n");
    EXPECT_EQ(lost.status, 1) << lost.out;
    std::filesystem::remove_all(root);
}

// Inform serves until it is told to stop: SIGTERM acts as "Стоп", and the end is status 0. A
// service manager that listens (systemd's NOTIFY_SOCKET, here a socket of the test's) is told
// READY=1 once the survey is over, WATCHDOG=1 while the program serves, STOPPING=1 as it ends.
TEST(ProgramEndToEnd, AutostartedInformStopsOnSigtermAndEndsWell) {
    std::string socket_path = temp_path("e2e_notify");
    ::unlink(socket_path.c_str());
    int manager = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(manager, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    socket_path.copy(address.sun_path, socket_path.size());
    ASSERT_EQ(::bind(manager, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // The manager reads every datagram as it comes, as systemd does: a program whose
    // datagrams are not read waits in its next one once the socket's queue is full.
    std::mutex told_lock;
    std::vector<std::string> told;
    std::atomic<bool> listening{true};
    std::thread manager_reads([&] {
        while (listening) {
            pollfd ready{manager, POLLIN, 0};
            char datagram[256];
            if (::poll(&ready, 1, 100) == 1) {
                ssize_t n = ::recv(manager, datagram, sizeof datagram, 0);
                std::lock_guard<std::mutex> hold(told_lock);
                if (n > 0) {
                    told.emplace_back(datagram, n);
                }
            }
        }
    });
    ::setenv("NOTIFY_SOCKET", socket_path.c_str(), 1);
    RunningProgram inform({INFORM_PATH, "--console", "--fast", "--autostart", "--root",
                           ::testing::TempDir(), "--simulate",
                           write_file("e2e_sigterm.rack", "K1 informer line play-time=5\n")});
    ::unsetenv("NOTIFY_SOCKET");
    // Waits until the program has told state, taking its output meanwhile so that it never
    // waits on a full pipe; false at the guard against a hang.
    auto tells = [&](const std::string& state) {
        auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        for (;;) {
            {
                std::lock_guard<std::mutex> hold(told_lock);
                if (std::find(told.begin(), told.end(), state) != told.end()) {
                    return true;
                }
            }
            if (std::chrono::steady_clock::now() > guard) {
                return false;
            }
            inform.read_ready();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    ASSERT_TRUE(tells("READY=1"));
    {
        std::lock_guard<std::mutex> hold(told_lock);
        told.clear();
    }
    ASSERT_TRUE(tells("WATCHDOG=1"));  // from its polls, after the survey
    ASSERT_TRUE(inform.wait_for("status\tРаботает Автоинформатор !")) << inform.output;
    EXPECT_EQ(inform.end_with(SIGTERM), 0) << inform.output;
    EXPECT_NE(inform.output.find("Останов Автоинформатора"), std::string::npos) << inform.output;
    EXPECT_TRUE(tells("STOPPING=1"));
    listening = false;
    manager_reads.join();
    ::close(manager);
    ::unlink(socket_path.c_str());
}

// A stop signal in every phase of the three programs; the sweep tries each phase with each of
// the four ways, this test each phase with one of them, the four in turn.
TEST(ProgramEndToEnd, AStopSignalInEveryPhaseEndsTheWorkInProgressAndTheProgramWell) {
    int way = 0;
    for (const SignalPhase& phase : signal_phases()) {
        expect_signalled_end(phase, way % 2 == 0 ? SIGTERM : SIGINT, way / 2 % 2 == 0);
        ++way;
    }
}

// A reader that stopped reading (a pipe nobody empties): the stop signal still ends the
// calls, says so in the status file and the journal, and the program exits with 0; with
// standard input at its end and kept open.
TEST(ProgramEndToEnd, AStopSignalEndsTheProgramWhoseOutputNobodyReads) {
    for (bool input_open : {false, true}) {
        SCOPED_TRACE(input_open ? "input open" : "input closed");
        std::string root = temp_path("e2e_unread");
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        std::string list;
        for (int i = 0; i < 50; ++i) {
            list +=
                std::to_string(4000000 + 111 * i) + "     " + std::to_string(1000 + i) + "  \r\n";
        }
        std::ofstream(root + "/Ring.TXT", std::ios::binary) << list << "\r\n";
        RunningProgram dialrun(
            {DIALRUN_PATH, "--console", "--fast", "--time", "2026-12-08T09:00:00", "--autostart",
             "--stop-hour", "23", "--root", root, "--journal", "yes", "--status-file", "yes",
             "--simulate",
             write_file("e2e_unread.rack", "K1 ring line busy=20000\nK2 ring line busy=20000\n")},
            input_open ? "sleep 10000000\n" : "", input_open, {{"TZ", "UTC"}});
        ASSERT_TRUE(dialrun.wait_output_full());
        EXPECT_EQ(dialrun.end_unread(SIGTERM), 0);
        std::string status = file_bytes(root + "/status-dialrun.json");
        EXPECT_NE(status.find("\"state\": \"ended\""), std::string::npos) << status;
        EXPECT_NE(status.find("\"reason\": \"Остановлено сигналом SIGTERM\""), std::string::npos)
            << status;
        std::string journal;
        for (const auto& day : std::filesystem::directory_iterator(root + "/journal")) {
            journal += file_bytes(day.path());
        }
        EXPECT_NE(journal.find("\tlog\tПолучен сигнал SIGTERM: завершение работы\n"),
                  std::string::npos);
        EXPECT_NE(journal.find("\tlog\tОстанов прозвонки\n"), std::string::npos);
        // At least the signal's own line never reached the reader: the count says so.
        const std::string unread = "\tlog\tВывод консоли не читается: ";
        size_t said = journal.find(unread);
        ASSERT_NE(said, std::string::npos);
        EXPECT_GE(std::atoi(journal.c_str() + said + unread.size()), 1) << journal.substr(said);
        std::filesystem::remove_all(root);
    }
}

// A status file that cannot be written is said once, at the start; its recovery once, and a
// new failure once again; the program goes on meanwhile.
TEST(ProgramEndToEnd, AStatusFileThatCannotBeWrittenIsSaidOnceAndSoIsItsRecovery) {
    std::string root = temp_path("e2e_status_gone");
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::string folder = root + "/gone";
    std::string rack = "K1 dtmf line\n";
    for (int k = 2; k <= 8; ++k) {
        rack += "K" + std::to_string(k) + " mode=0x50 noline\n";
    }
    RunningProgram pinread(
        {PINREAD_PATH, "--console", "--root", root, "--status-file", folder + "/status.json",
         "--simulate", write_file("e2e_status_gone.rack", rack)},
        "", true, {{"TZ", "UTC"}});
    const std::string failed = "log\tФайл состояния " + folder + "/status.json не записан: ";
    ASSERT_TRUE(pinread.wait_for(failed)) << pinread.output;
    ASSERT_TRUE(pinread.wait_for("status\t Ожидание старта или записи режима DTMF "));
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(pinread.wait_for("log\tФайл состояния " + folder + "/status.json снова записан\n"))
        << pinread.output;
    EXPECT_NE(file_bytes(folder + "/status.json").find("\"state\": \"idle\""), std::string::npos);
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(pinread.type("start\n"));  // a change of state, written at once
    EXPECT_TRUE(pinread.wait_for_count(failed, 2)) << pinread.output;
    ASSERT_TRUE(pinread.type("stop\nwait\nquit\n"));
    EXPECT_EQ(pinread.wait_end(), 0) << pinread.output;
    size_t said = 0;
    for (size_t at = 0; (at = pinread.output.find("log\tФайл состояния ", at)) != std::string::npos;
         ++at) {
        ++said;
    }
    EXPECT_EQ(said, 3u) << pinread.output;
    std::filesystem::remove_all(root);
}

// A stop sent as soon as the program catches it, before its options are read and long before
// there is a survey to stop: kept, and acted on once the program runs; nothing is started.
TEST(ProgramEndToEnd, AStopSignalAtTheVeryStartIsKeptUntilTheProgramRuns) {
    std::string root = temp_path("e2e_early");
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::ofstream(root + "/Ring.TXT", std::ios::binary) << "4000000     1000  \r\n\r\n";
    // On the real clock, K1..K7 absent: the survey alone lasts 14 s, far beyond the signal.
    RunningProgram dialrun(
        {DIALRUN_PATH, "--console", "--autostart", "--stop-hour", "23", "--root", root,
         "--status-file", "yes", "--simulate", write_file("e2e_early.rack", "K8 ring line\n")},
        "", false, {{"TZ", zone_with_local_hour(12)}});
    ASSERT_TRUE(dialrun.wait_catches(SIGTERM));
    EXPECT_EQ(dialrun.end_with(SIGTERM), 0) << dialrun.output;
    EXPECT_TRUE(has_line(dialrun.output, "log\tПолучен сигнал SIGTERM: завершение работы"))
        << dialrun.output;
    for (const char* never : {"Проверка 8 канала", "Работает прозвонка"}) {
        EXPECT_EQ(dialrun.output.find(never), std::string::npos) << dialrun.output;
    }
    std::string status = file_bytes(root + "/status-dialrun.json");
    EXPECT_NE(status.find("\"reason\": \"Остановлено сигналом SIGTERM\""), std::string::npos)
        << status;
    EXPECT_EQ(file_bytes(root + "/Ring.TXT"), "4000000     1000  \r\n\r\n");
    std::filesystem::remove_all(root);
}

// "quit" while calls are under way: the workers end with the process, as the original's did,
// but the status file says it ended and why, and the journal keeps the polls of its last
// minute.
TEST(ProgramEndToEnd, QuitDuringWorkLeavesTheStatusEndedAndTheJournalWhole) {
    std::string root = temp_path("e2e_quit");
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::string list;
    for (int i = 0; i < 20; ++i) {
        list += std::to_string(4000000 + 111 * i) + "     " + std::to_string(1000 + i) + "  \r\n";
    }
    std::ofstream(root + "/Ring.TXT", std::ios::binary) << list << "\r\n";
    RunningProgram dialrun(
        {DIALRUN_PATH, "--console", "--autostart", "--stop-hour", "23", "--root", root, "--journal",
         "yes", "--status-file", "yes", "--simulate",
         write_file("e2e_quit.rack", "K1 ring line busy=1000\nK2 ring line busy=1000\n")},
        "", true, {{"TZ", zone_with_local_hour(12)}});
    ASSERT_TRUE(dialrun.wait_for("log\tAdres K2\n")) << dialrun.output;
    ASSERT_TRUE(dialrun.type("quit\n"));
    EXPECT_EQ(dialrun.wait_end(), 0) << dialrun.output;
    std::string status = file_bytes(root + "/status-dialrun.json");
    EXPECT_NE(status.find("\"state\": \"ended\""), std::string::npos) << status;
    EXPECT_NE(status.find("\"reason\": \"Программа закрыта во время работы\""), std::string::npos)
        << status;
    std::string journal;
    for (const auto& day : std::filesystem::directory_iterator(root + "/journal")) {
        journal += file_bytes(day.path());
    }
    // The workers were still polling as it ended: a poll or two may come after the last sums.
    EXPECT_GT(polls_kept(journal), 0) << journal;
    EXPECT_LE(polls_kept(journal), polls_shown(dialrun.output)) << journal;
    std::filesystem::remove_all(root);
}

// A campaign long enough for the log box to empty itself: the journal keeps every line it
// showed, in order, but the per-poll lines, which it counts. The status file is whole JSON
// whenever it is read, and at the end its counts are the list's marks.
TEST(ProgramEndToEnd, TheJournalKeepsEveryLineAndTheStatusFileCountsTheMarks) {
    std::string root = temp_path("e2e_journal");
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    // Five records notified and three not by an earlier run, the rest to call.
    const int records = 48;
    std::string list;
    for (int i = 0; i < records; ++i) {
        list += std::to_string(4000000 + 111 * i) + "     " + std::to_string(1000 + i) + " " +
                (i < 5   ? "Y"
                 : i < 8 ? "N"
                         : " ") +
                "\r\n";
    }
    std::ofstream(root + "/Ring.TXT", std::ios::binary) << list << "\r\n";
    std::filesystem::permissions(root + "/Ring.TXT", std::filesystem::perms(0640));
    Outcome o = run({DIALRUN_PATH, "--console", "--fast", "--time", "2026-12-08T09:00:00", "--root",
                     root, "--journal", "yes", "--status-file", "yes", "--simulate",
                     write_file("e2e_journal.rack", "K1 ring line results=1,2\nK2 ring line\n")},
                    "wait\nstart\nwait\n");
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_NE(o.out.find("\nclear\t"), std::string::npos) << "the box never emptied itself";
    std::vector<std::string> shown, kept, events_shown, events_kept;
    int polls_shown = 0, polls_kept = 0;
    std::istringstream out(o.out);
    for (std::string line; std::getline(out, line);) {
        if (line.rfind("log\tAdres K", 0) == 0) {
            ++polls_shown;
        } else if (line.rfind("log\t", 0) == 0) {
            shown.push_back(line.substr(4));
        }
        if (line.rfind("status\t", 0) == 0) {
            events_shown.push_back(line);
        }
    }
    std::string day = root + "/journal/dialrun-2026-12-08.log";
    std::ifstream journal(day);
    for (std::string line; std::getline(journal, line);) {
        ASSERT_GT(line.size(), 20u) << line;
        EXPECT_EQ(line.substr(0, 11), "2026-12-08 ") << line;
        std::string event = line.substr(20);
        if (event.rfind("log\t", 0) == 0) {
            kept.push_back(event.substr(4));
        } else if (event.rfind("status\t", 0) == 0) {
            events_kept.push_back(event);
        } else if (event.rfind("poll\t", 0) == 0) {
            for (size_t at = 0; (at = event.find(" ×", at)) != std::string::npos; ++at) {
                polls_kept += std::atoi(event.c_str() + at + 3);
            }
        }
    }
    EXPECT_GT(shown.size() + polls_shown, 200u);
    EXPECT_EQ(kept, shown);
    EXPECT_EQ(events_kept, events_shown);
    EXPECT_GT(polls_shown, 0);
    EXPECT_EQ(polls_kept, polls_shown);
    EXPECT_EQ(std::filesystem::status(day).permissions(), std::filesystem::perms(0640));
    // The status file counts what the list's marks say, earlier runs' marks too.
    std::string marks = file_bytes(root + "/Ring.TXT");
    int notified = 0, not_notified = 0;
    for (int i = 0; i < records; ++i) {
        notified += marks[i * 20 + 17] == 'Y';
        not_notified += marks[i * 20 + 17] == 'N' || marks[i * 20 + 17] == 'Z';
    }
    EXPECT_EQ(notified + not_notified, records);
    std::string status = file_bytes(root + "/status-dialrun.json");
    EXPECT_NE(status.find("\"state\": \"ended\""), std::string::npos) << status;
    EXPECT_NE(status.find("\"counts\": {\"records\": 48, \"read\": 48, \"notified\": " +
                          std::to_string(notified) + ", \"not_notified\": " +
                          std::to_string(not_notified) + ", \"left\": 0, \"next_retry\": null}"),
              std::string::npos)
        << status;
    // No number or amount of the list (the process id aside, which may look like one).
    std::string without_pid = status.substr(status.find("\"started\""));
    for (int i = 0; i < records; ++i) {
        for (int personal : {4000000 + 111 * i, 1000 + i}) {
            EXPECT_EQ(without_pid.find(std::to_string(personal)), std::string::npos) << status;
        }
    }
    std::filesystem::remove_all(root);
}

// The rack goes away mid-campaign (boardsim stopped, its link gone) and comes back on the same
// link path: with reconnect the campaign goes on by itself, and ends with every record marked
// once and its verdict logged once.
TEST(ProgramEndToEnd, ACampaignWhoseRackWentAwayGoesOnWhenItIsBack) {
    std::string root = temp_path("e2e_reconnect");
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::string list;
    const int records = 60;
    for (int i = 0; i < records; ++i) {
        list += std::to_string(4000000 + 111 * i) + "     " + std::to_string(1000 + i) + "  \r\n";
    }
    std::ofstream(root + "/Ring.TXT", std::ios::binary) << list << "\r\n";
    std::string rack = write_file("e2e_reconnect.rack",
                                  "K1 ring line busy=3 results=1,2\nK2 ring line busy=3\n"
                                  "K3 ring line busy=3\nK4 ring line busy=3\nK5 ring line\n"
                                  "K6 ring line\nK7 ring line\nK8 ring line\n");
    std::string link = root + "/port";
    auto boardsim =
        std::make_unique<BoardsimProcess>(rack, std::vector<std::string>{"--link", link});
    ASSERT_FALSE(boardsim->path().empty());
    // On the real clock: in a zone where it is midday, so that the stop hour cannot end the run.
    RunningProgram dialrun({DIALRUN_PATH, "--console", "--autostart", "--reconnect", "1", "--root",
                            root, "--journal", "yes", "--port", link},
                           "", false, {{"TZ", midday_zone()}});
    ASSERT_TRUE(dialrun.wait_for("list\tОповещены\t")) << dialrun.output;
    boardsim.reset();
    ASSERT_TRUE(dialrun.wait_for("log\tНет связи с платами; новая попытка через 1 с"))
        << dialrun.output;
    boardsim = std::make_unique<BoardsimProcess>(rack, std::vector<std::string>{"--link", link});
    EXPECT_EQ(dialrun.wait_end(), 0) << dialrun.output;
    EXPECT_TRUE(has_line(dialrun.output, "log\tСвязь с платами восстановлена")) << dialrun.output;
    EXPECT_EQ(dialrun.output.find("box\t"), std::string::npos) << dialrun.output;

    std::string marks = file_bytes(root + "/Ring.TXT");
    std::string logged = file_bytes(root + "/RINGY.txt") + file_bytes(root + "/RINGN.txt");
    for (int i = 0; i < records; ++i) {
        std::string number = std::to_string(4000000 + 111 * i);
        EXPECT_NE(marks[i * 20 + 17], ' ') << number << " left unmarked";
        size_t first = logged.find(number);
        EXPECT_NE(first, std::string::npos) << number << " never logged";
        EXPECT_EQ(logged.find(number, first + 1), std::string::npos) << number << " logged twice";
    }
    std::string journal;
    for (const auto& day : std::filesystem::directory_iterator(root + "/journal")) {
        journal += file_bytes(day.path());
    }
    EXPECT_NE(journal.find("\tlink\tпотеряна: Обрыв связи с портом " + link), std::string::npos)
        << journal;
    EXPECT_NE(journal.find("\tlink\tСвязь с платами восстановлена"), std::string::npos);
    std::filesystem::remove_all(root);
}

// Inform's services on a rack that goes away and comes back on the same link path: started
// again on the boards that are back, and SIGTERM still ends it well.
TEST(ProgramEndToEnd, InformsServicesComeBackWithTheirRack) {
    std::string root = temp_path("e2e_reconnect_inform");
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::string rack = write_file("e2e_reconnect_inform.rack",
                                  "K1 informer line message-time=0.2\nK2 informer line\n"
                                  "K3 ring line\nK4 ring line\nK5 ring line\nK6 ring line\n"
                                  "K7 ring line\nK8 ring line\n");
    std::string link = root + "/port";
    std::string trace = root + "/back.trace";
    auto boardsim =
        std::make_unique<BoardsimProcess>(rack, std::vector<std::string>{"--link", link});
    ASSERT_FALSE(boardsim->path().empty());
    RunningProgram inform({INFORM_PATH, "--console", "--autostart", "--reconnect", "1", "--root",
                           root, "--status-file", "yes", "--port", link});
    ASSERT_TRUE(inform.wait_for("status\tРаботает Автоинформатор !")) << inform.output;
    boardsim.reset();
    ASSERT_TRUE(inform.wait_for("log\tНет связи с платами; новая попытка через 1 с"))
        << inform.output;
    boardsim = std::make_unique<BoardsimProcess>(
        rack, std::vector<std::string>{"--link", link, "--trace", trace});
    ASSERT_TRUE(inform.wait_for("log\tСвязь с платами восстановлена")) << inform.output;
    ASSERT_TRUE(inform.wait_for("log\tAdres K2")) << inform.output;
    EXPECT_EQ(inform.end_with(SIGTERM), 0) << inform.output;
    // Both informers were started again on the rack that came back (CMD_START_INFORMER).
    std::string bytes = file_bytes(trace);
    size_t starts = 0;
    for (size_t at = 0; (at = bytes.find(" < 55\n", at)) != std::string::npos; ++at) {
        ++starts;
    }
    EXPECT_EQ(starts, 2u) << bytes.substr(0, 600);
    EXPECT_NE(file_bytes(root + "/status-inform.json").find("\"state\": \"ended\""),
              std::string::npos);
    std::filesystem::remove_all(root);
}

// A campaign left to itself over a week: a window 9-20 on weekdays with Monday a holiday, three
// calls at most, three hours apart. Started on Friday evening, it goes on by itself on Tuesday.
TEST(ProgramEndToEnd, RetryRoundsOverAWeekKeepTheWindowTheGapAndTheCap) {
    std::string root = temp_path("e2e_week");
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::string list;
    const int records = 40;
    for (int i = 0; i < records; ++i) {
        list += std::to_string(4000000 + 111 * i) + "     " + std::to_string(1000 + i) + "  \r\n";
    }
    std::ofstream(root + "/Ring.TXT", std::ios::binary) << list << "\r\n";
    std::filesystem::permissions(root + "/Ring.TXT", std::filesystem::perms(0640));
    std::ofstream(root + "/holidays.txt") << "# Monday\n14.12\n";
    Outcome o = run({DIALRUN_PATH,
                     "--console",
                     "--fast",
                     "--autostart",
                     "--time",
                     "2026-12-11T19:30:00",
                     "--root",
                     root,
                     "--call-start",
                     "9",
                     "--stop-hour",
                     "20",
                     "--call-days",
                     "1-5",
                     "--holidays",
                     root + "/holidays.txt",
                     "--retry",
                     "3",
                     "--retry-gap",
                     "180",
                     "--journal",
                     "yes",
                     "--simulate",
                     write_file("e2e_week.rack",
                                "K1 ring line busy=20 results=2,2,1\nK2 ring line busy=20 "
                                "results=0\nK3 ring line busy=20 results=2,1\nK4 ring line "
                                "busy=20 results=2,0,2,1,2\n")},
                    "");
    ASSERT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(o.out.find("box\t"), std::string::npos) << o.out;
    // Every line of both logs, by number: minutes since 1 December, and the verdict.
    std::map<std::string, std::vector<std::pair<int, char>>> calls;
    for (const char* name : {"/RINGY.txt", "/RINGN.txt"}) {
        std::string text = file_bytes(root + name);
        ASSERT_EQ(text.size() % 70, 0u) << name;
        for (size_t i = 0; i < text.size(); i += 70) {
            int day = std::atoi(text.substr(i + 10, 2).c_str());
            int hour = std::atoi(text.substr(i + 16, 2).c_str());
            int minute = std::atoi(text.substr(i + 19, 2).c_str());
            EXPECT_EQ(text.substr(i + 12, 4), "-12 ") << text.substr(i, 26);
            // 11 December 2026 is a Friday; 14 a holiday; 12 and 13 the weekend.
            EXPECT_TRUE(day == 11 || day >= 15) << text.substr(i, 26);
            EXPECT_TRUE(hour >= 9 && hour < 20) << text.substr(i, 26);
            char verdict = name[5] == 'Y' ? 'Y' : text[i + 25];
            calls[text.substr(i, 7)].push_back({(day * 24 + hour) * 60 + minute, verdict});
        }
    }
    std::string marks = file_bytes(root + "/Ring.TXT");
    int later_days = 0;
    for (int i = 0; i < records; ++i) {
        std::string number = std::to_string(4000000 + 111 * i);
        auto& c = calls[number];
        std::sort(c.begin(), c.end());
        ASSERT_FALSE(c.empty()) << number;
        EXPECT_LE(c.size(), 3u) << number;
        for (size_t n = 1; n < c.size(); ++n) {
            // Logged when the verdict came: a call placed 180 minutes after the last one's
            // verdict may end a minute later in its turn.
            EXPECT_GE(c[n].first - c[n - 1].first, 179) << number;
            EXPECT_NE(c[n - 1].second, 'Y') << number << " called after its Y";
        }
        char mark = marks[i * 20 + 17];
        EXPECT_EQ(mark, c.back().second) << number;
        EXPECT_TRUE(mark == 'Y' || c.size() == 3u) << number;
        later_days += c.back().first >= 15 * 24 * 60;
    }
    EXPECT_GT(later_days, 0) << "the campaign never went on after the weekend";
    // Friday's list is read by 19:31; its second calls would fall due at 22:30, after the
    // window, and the weekend and Monday's holiday pass: the pause says what it waits for.
    EXPECT_NE(file_bytes(root + "/journal/dialrun-2026-12-11.log")
                  .find("\tpause\tдо 2026-12-15 09:00:00: Ожидание срока повторных звонков\n"),
              std::string::npos);
    EXPECT_EQ(std::filesystem::status(root + "/Ring.TXT.attempts").permissions(),
              std::filesystem::perms(0640));
    std::filesystem::remove_all(root);
}
