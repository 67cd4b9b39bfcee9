#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "link/closed_port.h"
#include "link/commands.h"
#include "support/rack_fixture.h"
#include "support/temp_root.h"

using namespace core;
using namespace std::chrono_literals;

TEST(Link, ASilentBoardTimesOutExactlyAtTheDeadlineAndKeepsOgd) {
    RackOnLink r("K1 ring line\n");
    ASSERT_EQ(r.select(0), 0x20);
    Duration before = r.clock.now();
    r.link->send_select(3);  // no board at K4
    EXPECT_FALSE(r.link->read_reply());
    EXPECT_EQ(r.clock.now() - before, 2s);
    EXPECT_EQ(r.link->OGD(), 0x20);

    r.link->set_reply_byte_limit(59s);
    before = r.clock.now();
    r.link->send_byte(CMD_WAIT_MESSAGE);
    EXPECT_EQ(r.link->read_reply_byte(), -1);
    EXPECT_EQ(r.clock.now() - before, 59s);

    r.link->set_reply_limit(30s);  // Pinread after its engine's start
    before = r.clock.now();
    EXPECT_FALSE(r.link->read_reply());
    EXPECT_EQ(r.clock.now() - before, 30s);
}

TEST(Link, RepliesArriveAfterTheWireTimeAndLongWaitsAreHonoured) {
    RackOnLink r("K1 informer line messages=3 message-time=40\n");
    Duration before = r.clock.now();
    ASSERT_EQ(r.select(0), 0x10);
    EXPECT_EQ(r.clock.now() - before, 2 * sim::BYTE_TIME);
    r.link->set_reply_byte_limit(59s);
    r.link->send_byte(CMD_WAIT_MESSAGE);
    before = r.clock.now();
    EXPECT_EQ(r.link->read_reply_byte(), 3);
    EXPECT_EQ(r.link->OGD(), 3);
    EXPECT_EQ(r.clock.now() - before, 40s + 2 * sim::BYTE_TIME);
    // The same wait with a 2 s deadline misses it.
    r.link->send_byte(CMD_WAIT_MESSAGE);
    EXPECT_FALSE(r.link->read_reply());
}

TEST(Link, ALateReplyIsNotTakenForTheNextSelectsAnswer) {
    // K1's reply to its line-status byte (its 2nd byte) comes after the deadline.
    RackOnLink r("K1 ring line=0x04 late=2\nK2 time noline\n");
    ASSERT_EQ(r.select(0), 0x20);
    EXPECT_EQ(r.exchange(CMD_LINE_STATUS), -1);
    r.clock.sleep_for(100ms);
    // K2 answers its select with its own address, not with K1's stale 0x04.
    EXPECT_EQ(r.select(1), 0x31);
    // Within an exchange a late byte still shifts the replies, as on the real line.
    RackOnLink s("K1 ring line=0x04 late=2\n");
    ASSERT_EQ(s.select(0), 0x20);
    EXPECT_EQ(s.exchange(CMD_LINE_STATUS), -1);
    EXPECT_EQ(s.exchange(CMD_STOP_MODE), 0x04);
}

TEST(Link, AWrongEchoIsVisibleToTheCaller) {
    RackOnLink r("K3 ring line echo=3\n");
    int reply = r.select(2);
    ASSERT_NE(reply, -1);
    EXPECT_EQ(reply & REPLY_ADDRESS_MASK, 3);
    EXPECT_EQ(reply & REPLY_MODE_MASK, MODE_RING);
}

namespace {

// A device that has vanished: every read and write fails at once.
class VanishedPort : public Transport {
  public:
    std::string name() const override { return "/dev/ttyUSB0"; }
    std::string write_byte(uint8_t) override {
        ++writes;
        return "Input/output error";
    }
    ReadResult read_byte(Duration) override {
        ++reads;
        return ReadResult::lost("Input/output error");
    }
    std::vector<uint8_t> discard_input() override { return {}; }
    int reads = 0;
    int writes = 0;
};

}  // namespace

TEST(Link, AVanishedDeviceIsReportedOnceAndThenWaitsOutEachDeadline) {
    VanishedPort port;
    VirtualClock clock;
    Link link(port, clock);
    std::vector<std::string> reports;
    link.set_report([&](const std::string& text) { reports.push_back(text); });
    for (int i = 0; i < 5; ++i) {
        link.send_select(static_cast<uint8_t>(i));
        EXPECT_FALSE(link.read_reply());
        EXPECT_EQ(link.read_reply_byte(), -1);
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Обрыв связи с портом /dev/ttyUSB0: Input/output error");
    EXPECT_TRUE(link.device_lost());
    // One read per attempt. The loss was first seen by the write, so every read costs its
    // deadline: nothing can spin on the dead device.
    EXPECT_EQ(port.reads, 10);
    EXPECT_EQ(clock.now(), 20s);
}

TEST(Link, APortThatCouldNotBeOpenedTimesOutEveryExchange) {
    VirtualClock clock;
    ClosedPort port("COM1", clock);
    Link link(port, clock);
    link.send_select(0);
    EXPECT_FALSE(link.read_reply());
    EXPECT_EQ(clock.now(), 2s);
    EXPECT_FALSE(link.device_lost());
    EXPECT_EQ(port_not_opened_text("COM1", "Access is denied."),
              "Порт COM1 не открыт: Access is denied.");
}

TEST(Link, TheWireTraceListsEveryByteWithItsTime) {
    std::string path = temp_path("wire_trace_test.txt");
    RackOnLink r("K1 ring line=0x04 late=2\nK2 dtmf line\n");
    WireTrace trace(r.clock);
    ASSERT_EQ(trace.open(path), "");
    Link link(*r.transport, r.clock, &trace);
    link.send_select(0);
    ASSERT_TRUE(link.read_reply());
    link.send_byte(CMD_LINE_STATUS);
    ASSERT_FALSE(link.read_reply());
    r.clock.sleep_for(100ms);
    link.send_select(1);
    ASSERT_TRUE(link.read_reply());
    trace.play("C:/wav/0.wav");
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "0.000 > 00\n"
              "0.002 < 20\n"
              "0.002 > 58\n"
              "2.102 ~ 04\n"
              "2.102 > 01\n"
              "2.104 < 41\n"
              "2.104 play C:/wav/0.wav\n");
    std::remove(path.c_str());
}

TEST(Link, APauseRunsFromTheLastByteSoWorkSinceCountsAndPausesInARowAdd) {
    RackOnLink r("K1 ring line\n");
    ASSERT_EQ(r.select(0), 0x20);
    Duration reply = r.clock.now();
    r.clock.sleep_for(3ms);  // work after the reply, such as writing a result
    r.link->pause(10ms);
    EXPECT_EQ(r.clock.now(), reply + 10ms);
    r.link->pause(4ms);  // a second pause adds to the first
    EXPECT_EQ(r.clock.now(), reply + 14ms);
    // Work longer than the pause: none is added, and the next one counts from now.
    r.clock.sleep_for(20ms);
    Duration after_work = r.clock.now();
    r.link->pause(10ms);
    EXPECT_EQ(r.clock.now(), after_work);
    r.link->pause(2ms);
    EXPECT_EQ(r.clock.now(), after_work + 2ms);
    // A byte sent starts the count again.
    r.link->send_byte(CMD_END);
    Duration sent = r.clock.now();
    r.link->pause(4ms);
    EXPECT_EQ(r.clock.now(), sent + 4ms);
}
