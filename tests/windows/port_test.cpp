// The Win32 serial port against boardsim on a pty that the Wine prefix shows as a COM port
// (scripts/windows-tests makes the link and names the port in BOARDRACK_COM).

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "dialrun/calling_engine.h"
#include "dialrun/dialrun_controller.h"
#include "files/durable_file.h"
#include "link/serial_port.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"
#include "time/real_clock.h"

using namespace core;
using namespace station;
using namespace std::chrono_literals;

namespace {

std::string com_port() {
    const char* name = std::getenv("BOARDRACK_COM");
    return name != nullptr ? name : "";
}

// Real time for the line, but the PC's clock always at ten in the morning: the campaign stops at
// 22 o'clock by default, and CI may run at any hour.
class DaytimeClock : public RealClock {
  public:
    LocalTime local_time() const override {
        LocalTime t = RealClock::local_time();
        t.hour = 10;
        return t;
    }
};

HANDLE open_as_another_program(const std::string& port) {
    return CreateFileA(("\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

}  // namespace

TEST(Win32SerialPort, HandshakingLeftOnByAnotherProgramIsTurnedOffAndTheBoardsAnswer) {
    std::string port = com_port();
    if (port.empty()) {
        GTEST_SKIP() << "no COM port linked to boardsim (BOARDRACK_COM)";
    }
    // Another program leaves every kind of handshaking on.
    HANDLE other = open_as_another_program(port);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(other, &dcb));
    dcb.fOutxCtsFlow = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.fParity = TRUE;
    dcb.Parity = EVENPARITY;
    dcb.BaudRate = CBR_1200;
    SetCommState(other, &dcb);
    CloseHandle(other);

    RealClock clock;
    {
        OpenedPort opened = open_serial_port(port, clock);
        ASSERT_TRUE(opened.port) << opened.error;
        Link link(*opened.port, clock);
        link.send_select(0);
        ASSERT_TRUE(link.read_reply()) << "K1 answers through the port";
        EXPECT_EQ(link.OGD(), 0x20);
        link.send_byte(CMD_END);
        EXPECT_TRUE(link.read_reply());
    }
    other = open_as_another_program(port);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(GetCommState(other, &dcb));
    CloseHandle(other);
    EXPECT_FALSE(dcb.fOutxCtsFlow);
    EXPECT_FALSE(dcb.fOutxDsrFlow);
    EXPECT_NE(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_NE(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    EXPECT_FALSE(dcb.fOutX);
    EXPECT_FALSE(dcb.fInX);
    EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(CBR_9600));
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

TEST(Win32SerialPort, ASurveyAndAShortCampaignThroughTheComPort) {
    std::string port = com_port();
    if (port.empty()) {
        GTEST_SKIP() << "no COM port linked to boardsim (BOARDRACK_COM)";
    }
    TempRoot root;
    root.write("Ring.TXT", record("1000001", "   1500") + record("1000002", "   2500") + "\r\n");
    DaytimeClock clock;
    OpenedPort opened = open_serial_port(port, clock);
    ASSERT_TRUE(opened.port) << opened.error;
    Link link(*opened.port, clock);
    sim::Rack unused_rack(sim::parse_rack_text("", "none").rack);
    sim::SimSound no_sound(unused_rack, clock);
    dialrun::DialrunController controller(link, clock, DriveC(root.path), no_sound);
    DirectFrontEnd front_end;
    controller.start(front_end, "");
    ASSERT_TRUE(controller.wait_idle(60s));
    EXPECT_EQ(controller.form().mode_text[0], "Прозвонка");
    EXPECT_EQ(controller.state().link_state, LINK_FREE);
    {
        std::lock_guard lock(front_end.ui_mutex);
        ASSERT_EQ(controller.press(Button::start), std::nullopt);
    }
    ASSERT_TRUE(controller.wait_idle(120s));
    std::string list = root.read("Ring.TXT");
    EXPECT_NE(list[17], ' ');
    EXPECT_NE(list[37], ' ');
    EXPECT_EQ(root.read("RINGY.txt").size() + root.read("RINGN.txt").size(), 140u);
    controller.close();
}

TEST(Win32SerialPort, APortThatIsNotThereIsNamedSoWithThePortsThereAre) {
    RealClock clock;
    OpenedPort opened = open_serial_port("COM97", clock);
    EXPECT_FALSE(opened.port);
    EXPECT_EQ(opened.error.rfind("нет такого порта; ", 0), 0u) << opened.error;
}

// The C runtime says EACCES both for a file another program holds and for one this user may
// not write: only the held one is "busy" and waited for; one that cannot be the file is
// refused at once, never waited for. (Wine run as root writes read-only files, so the refused
// one here is a folder, said as a folder, as on Linux.)
TEST(Win32Files, ADeniedFileIsSaidSoAndOnlyAHeldOneIsBusy) {
    TempRoot root;
    root.write("RINGY.txt", "");
    std::string error;
    std::FILE* held = open_exclusive(root.file("RINGY.txt"), "ab", error);
    ASSERT_NE(held, nullptr) << error;
    EXPECT_EQ(open_exclusive(root.file("RINGY.txt"), "ab", error), nullptr);
    EXPECT_EQ(error, "занят другой программой");
    // A reader is let in: the supervisor's page reads what a run writes.
    std::string read_error;
    read_file_bytes(root.file("RINGY.txt"), read_error);
    EXPECT_EQ(read_error, "");
    std::fclose(held);

    std::filesystem::create_directories(root.path / "RINGN.txt");
    // Waited for as a held file would be, it would end "занят" after its retries.
    EXPECT_EQ(open_exclusive(root.file("RINGN.txt"), "ab", error, true), nullptr);
    EXPECT_EQ(error, "это папка, а не файл");
}
