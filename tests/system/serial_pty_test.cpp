// End to end through the real serial port class: boardsim serves a rack on a pty.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "link/commands.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "link/serial_port_list.h"
#include "support/boardsim_process.h"
#include "support/temp_root.h"
#include "time/real_clock.h"

using namespace core;
using namespace std::chrono_literals;

namespace {

double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

TEST(SerialPortOnPty, ExchangesSelectAndLineStatusWithTwoBoards) {
    BoardsimOnRack boardsim("K1 ring line\nK3 informer noline\n");
    ASSERT_FALSE(boardsim.path().empty());
    RealClock clock;
    OpenedPort opened = open_serial_port(boardsim.path(), clock);
    ASSERT_TRUE(opened.port) << opened.error;
    Link link(*opened.port, clock);
    struct {
        uint8_t address, select_reply, line;
    } expected[] = {{0, 0x20, 0x00}, {2, 0x12, 0x0C}};
    for (const auto& e : expected) {
        link.send_select(e.address);
        ASSERT_TRUE(link.read_reply());
        EXPECT_EQ(link.OGD(), e.select_reply);
        link.send_byte(CMD_LINE_STATUS);
        ASSERT_TRUE(link.read_reply());
        EXPECT_EQ(link.OGD(), e.line);
        link.send_byte(CMD_END);
        ASSERT_TRUE(link.read_reply());
    }
    // An empty slot: nothing comes back before the deadline.
    link.set_reply_limit(300ms);
    Duration before = clock.now();
    link.send_select(1);
    EXPECT_FALSE(link.read_reply());
    EXPECT_GE(clock.now() - before, 300ms);
    EXPECT_LT(clock.now() - before, 2s) << "the reply limit set, not the 2 s default";

    // The port belongs to this process alone.
    OpenedPort second = open_serial_port(boardsim.path(), clock);
    EXPECT_FALSE(second.port);
    EXPECT_EQ(second.error, "порт занят другой программой");
}

TEST(SerialPortOnPty, AVanishedPtyIsReportedOnceAndDoesNotSpin) {
    BoardsimOnRack boardsim("K1 ring line\n");
    ASSERT_FALSE(boardsim.path().empty());
    RealClock clock;
    OpenedPort opened = open_serial_port(boardsim.path(), clock);
    ASSERT_TRUE(opened.port) << opened.error;
    Link link(*opened.port, clock);
    std::vector<std::string> reports;
    link.set_report([&](const std::string& text) { reports.push_back(text); });
    link.send_select(0);
    ASSERT_TRUE(link.read_reply());
    boardsim.stop();

    link.set_reply_limit(200ms);
    double cpu_before = cpu_seconds();
    Duration before = clock.now();
    for (int i = 0; i < 5; ++i) {
        link.send_select(0);
        EXPECT_FALSE(link.read_reply());
    }
    Duration spent = clock.now() - before;
    double cpu = cpu_seconds() - cpu_before;
    EXPECT_GE(spent, 800ms);  // the first read fails at once, the other four wait 200 ms
    EXPECT_LT(cpu, 0.1) << "waiting on a dead port must not burn the processor";
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("Обрыв связи с портом " + boardsim.path() + ": ", 0), 0u)
        << reports[0];
}

TEST(SerialPortOnPty, APortThatDoesNotExistGivesTheSystemsReason) {
    RealClock clock;
    OpenedPort opened = open_serial_port("/dev/no-such-port", clock);
    EXPECT_FALSE(opened.port);
    // The reason first, then what the system has instead.
    EXPECT_EQ(opened.error.rfind("нет такого файла или папки; ", 0), 0u) << opened.error;
}

TEST(SerialPortList, AdviceNamesAGroupOnlyWhereJoiningItGivesAccess) {
    const struct {
        core::PortAccess access;
        const char* advice;
    } cases[] = {
        {{"dialout", 20, true, "opr", false, false},
         "порт принадлежит группе dialout: выполните sudo usermod -aG dialout opr и войдите в "
         "систему заново"},
        {{"root", 0, true, "opr", false, false},
         "доступ к этому порту может дать только администратор"},
        {{"dialout", 20, false, "opr", false, false},
         "доступ к этому порту может дать только администратор"},
        {{"dialout", 20, true, "opr", true, true},
         "доступ к этому порту может дать только администратор"},
        {{"dialout", 20, true, "opr", false, true},
         "вы уже в группе dialout, но это еще не действует: войдите в систему заново"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(core::port_access_advice(c.access), c.advice) << c.access.group_id;
    }
}

TEST(SerialPortList, NamesTheRealPortsAndLeavesOutThePhantoms) {
    TempRoot dev;
    TempRoot sys;
    for (const char* name : {"ttyUSB0", "ttyACM1", "ttyS0", "ttyS1", "tty0", "sda"}) {
        dev.write(name, "");
    }
    std::filesystem::create_directories(dev.path / "serial" / "by-id");
    dev.write("serial/by-id/usb-FTDI_FT232R-if00-port0", "");
    // ttyS0 has a 16550A behind it (type 4); ttyS1 is one of the kernel's phantoms (type 0).
    std::filesystem::create_directories(sys.path / "ttyS0");
    std::filesystem::create_directories(sys.path / "ttyS1");
    sys.write("ttyS0/type", "4\n");
    sys.write("ttyS1/type", "0\n");
    std::string d = dev.path.string();
    EXPECT_EQ(core::list_serial_ports(d, sys.path.string()),
              (std::vector<std::string>{d + "/serial/by-id/usb-FTDI_FT232R-if00-port0",
                                        d + "/ttyACM1", d + "/ttyS0", d + "/ttyUSB0"}));
    TempRoot empty;
    EXPECT_TRUE(core::list_serial_ports(empty.path.string(), sys.path.string()).empty());
}
