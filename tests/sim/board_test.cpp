#include <gtest/gtest.h>

#include "link/commands.h"
#include "support/rack_fixture.h"

using namespace core;
using namespace std::chrono_literals;

TEST(SimulatedBoard, AnswersTheSurveyAndStaysOffTheBusWhenReleased) {
    RackOnLink r("K2 ring line\nK6 mode=0x50 line=0x04\nK7 dtmf noline\n");
    EXPECT_EQ(r.select(0), -1);  // empty slot
    EXPECT_EQ(r.select(1), 0x21);
    EXPECT_EQ(r.exchange(CMD_LINE_STATUS), 0x00);
    EXPECT_NE(r.exchange(CMD_STOP_MODE), -1);
    EXPECT_NE(r.exchange(CMD_END), -1);
    EXPECT_EQ(r.exchange(CMD_LINE_STATUS), -1);  // released: nobody listens
    EXPECT_EQ(r.select(5), 0x55);
    EXPECT_EQ(r.exchange(CMD_LINE_STATUS), 0x04);
    EXPECT_EQ(r.select(6), 0x46);
    EXPECT_EQ(r.exchange(CMD_LINE_STATUS), 0x0C);
    const sim::Board* k2 = r.rack->board(1);
    EXPECT_EQ(k2->received(), (std::vector<uint8_t>{0x01, 0x58, 0xFE, 0xFF}));
    EXPECT_TRUE(k2->anomalies().empty());
}

TEST(SimulatedBoard, RingRoundIsBusyAfterEachNumberThenGivesItsResults) {
    RackOnLink r("K1 ring line busy=2 results=1,2,0\n");
    ASSERT_EQ(r.select(0), 0x20);
    for (uint8_t b : {CMD_SET_WAIT, uint8_t{0x01}, CMD_START, CMD_END}) {
        ASSERT_NE(r.exchange(b), -1);
    }
    EXPECT_EQ(r.rack->board(0)->wait_value(), 0x01);
    const uint8_t payload[] = {0x20, 0x01, 0x25, 0x00, 0xF2, 0x34, 0x56, 0x78};
    std::vector<int> results;
    for (int call = 0; call < 4; ++call) {
        ASSERT_EQ(r.select(0), 0x20);  // free
        ASSERT_NE(r.exchange(CMD_NUMBER), -1);
        for (uint8_t b : payload) {
            ASSERT_NE(r.exchange(b), -1);  // 0x00 and 0x01 here are data, not selects
        }
        EXPECT_EQ(r.select(0), 0x28);  // calling
        EXPECT_EQ(r.select(0), 0x28);
        EXPECT_EQ(r.select(0), 0x20);  // done
        results.push_back(r.exchange(CMD_RESULT));
        ASSERT_NE(r.exchange(CMD_END), -1);
    }
    EXPECT_EQ(results, (std::vector<int>{1, 2, 0, 0}));
    ASSERT_EQ(r.rack->board(0)->numbers().size(), 4u);
    EXPECT_EQ(r.rack->board(0)->numbers()[3][4], 0xF2);
    EXPECT_TRUE(r.rack->board(0)->anomalies().empty());
}

TEST(SimulatedBoard, DtmfCallGoesFromRingToDiallingToACodeAndPhrases) {
    RackOnLink r("K5 dtmf line codes=1234,9870 ring=2 dial=3 phrase=1\n");
    ASSERT_EQ(r.select(4), 0x44);
    ASSERT_NE(r.exchange(CMD_START_DTMF), -1);
    ASSERT_NE(r.exchange(CMD_END), -1);
    for (int caller = 0; caller < 3; ++caller) {
        ASSERT_EQ(r.select(4), 0x44);  // ready: arm it
        ASSERT_NE(r.exchange(CMD_RECEIVE_PIN), -1);
        ASSERT_NE(r.exchange(PIN_DIGIT_COUNT), -1);
        ASSERT_NE(r.exchange(CMD_END), -1);
        std::vector<int> conditions;
        for (int poll = 0; poll < 6; ++poll) {
            conditions.push_back(r.select(4) & 0x88);
            r.exchange(CMD_END);
        }
        EXPECT_EQ(conditions, (std::vector<int>{0x08, 0x08, 0x88, 0x88, 0x88, 0x00}));
        ASSERT_EQ(r.select(4), 0x44);
        ASSERT_NE(r.exchange(CMD_READ_DIGITS), -1);
        std::vector<int> keys;
        for (int i = 0; i < 4; ++i) {
            keys.push_back(r.exchange(CMD_END));
        }
        EXPECT_EQ(keys,
                  caller == 0 ? (std::vector<int>{1, 2, 3, 4}) : (std::vector<int>{9, 8, 7, 0}));
        ASSERT_NE(r.exchange(CMD_PLAY_PHRASE), -1);
        ASSERT_NE(r.exchange(static_cast<uint8_t>(PHRASE_BASE | keys[0])), -1);
        ASSERT_NE(r.exchange(CMD_END), -1);
        EXPECT_EQ(r.select(4), 0xCC);  // busy playing the phrase
        r.exchange(CMD_END);
        EXPECT_EQ(r.select(4), 0x44);
        ASSERT_NE(r.exchange(CMD_HANG_UP), -1);
        ASSERT_NE(r.exchange(CMD_END), -1);
    }
    EXPECT_EQ(r.rack->board(4)->callers_served(), 3);
    EXPECT_EQ(r.rack->board(4)->phrases(), (std::vector<uint8_t>{0xF1, 0xF9, 0xF9}));
    EXPECT_TRUE(r.rack->board(4)->anomalies().empty());
}

TEST(SimulatedBoard, ASelectWithBit7EndsTheWaitForACall) {
    RackOnLink r("K1 dtmf line dial=forever ring=1\n");
    ASSERT_EQ(r.select(0), 0x40);
    r.exchange(CMD_START_DTMF);
    r.exchange(CMD_RECEIVE_PIN);
    r.exchange(PIN_DIGIT_COUNT);
    r.exchange(CMD_END);
    EXPECT_EQ(r.select(0) & 0x88, 0x08);
    r.exchange(CMD_END);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(r.select(0) & 0x88, 0x88);  // dials for ever
        r.exchange(CMD_END);
    }
    EXPECT_EQ(r.select(0x80), 0x40);  // asked to leave the call: ready
}

TEST(SimulatedBoard, InformerCountsMessagesAndTimeBoardsTakeTheClock) {
    RackOnLink r("K1 informer line messages=0,3 message-time=5\nK4 time line\n");
    r.link->set_reply_byte_limit(59s);
    ASSERT_EQ(r.select(0), 0x10);
    r.exchange(CMD_START_INFORMER);
    std::vector<int> counts;
    for (int i = 0; i < 3; ++i) {
        r.link->send_byte(CMD_WAIT_MESSAGE);
        counts.push_back(r.link->read_reply_byte());
    }
    EXPECT_EQ(counts, (std::vector<int>{0, 3, 3}));
    EXPECT_GE(r.clock.now(), 15s);
    ASSERT_EQ(r.select(3), 0x33);
    r.exchange(CMD_START_TIME);
    for (uint8_t b : {CMD_SET_CLOCK, uint8_t{0x23}, uint8_t{0x17}, uint8_t{0x59}, uint8_t{0x3B},
                      uint8_t{0x06}}) {
        ASSERT_NE(r.exchange(b), -1);
    }
    ASSERT_NE(r.exchange(CMD_END), -1);
    ASSERT_EQ(r.rack->board(3)->clock_settings().size(), 1u);
    EXPECT_EQ(r.rack->board(3)->clock_settings()[0],
              (std::array<uint8_t, 5>{0x23, 0x17, 0x59, 0x3B, 0x06}));
}

namespace {

void record_phoneme(RackOnLink& r, uint8_t count, const std::string& file) {
    ASSERT_NE(r.exchange(count), -1);
    r.rack->hear(file, 1500ms);
    ASSERT_NE(r.exchange(count), -1);
}

}  // namespace

TEST(SimulatedBoard, RecordsAnUploadAndReportsTheNewModeOnItsNextSelect) {
    RackOnLink r("K1 line\n");
    ASSERT_EQ(r.select(0), 0x00);
    r.exchange(CMD_PLAY_ALL);  // nothing recorded yet: one second
    r.link->send_byte(CMD_END);
    ASSERT_TRUE(r.link->read_reply());
    ASSERT_EQ(r.select(0), 0x00);
    for (uint8_t b : {CMD_RESET_CODER, uint8_t{0x80}, uint8_t{0x64}}) {
        ASSERT_NE(r.exchange(b), -1);
    }
    for (int i = 0; i < 100; ++i) {
        record_phoneme(r, 0x64, "C:/wav/" + std::to_string(i) + ".wav");
    }
    for (uint8_t b : {CMD_SET_MODE, uint8_t{0x02}, CMD_END}) {
        ASSERT_NE(r.exchange(b), -1);
    }
    const sim::Board* k1 = r.rack->board(0);
    ASSERT_EQ(k1->sections().size(), 1u);
    EXPECT_EQ(k1->sections()[0].code, 0x80);
    ASSERT_EQ(k1->sections()[0].phonemes.size(), 100u);
    EXPECT_EQ(k1->sections()[0].phonemes[60].files, std::vector<std::string>{"C:/wav/60.wav"});
    EXPECT_EQ(k1->modes_written(), std::vector<uint8_t>{0x02});
    EXPECT_EQ(r.select(0), 0x20);
    // Playing everything back takes as long as the recordings.
    r.link->set_reply_limit(600s);
    Duration before = r.clock.now();
    ASSERT_NE(r.exchange(CMD_PLAY_ALL), -1);
    EXPECT_EQ(r.clock.now() - before, 150s + 2 * sim::BYTE_TIME);
    EXPECT_EQ(k1->play_all_count(), 2);
    EXPECT_TRUE(k1->anomalies().empty());
}

TEST(SimulatedBoard, TellsSectionHeadersFromClosingPairs) {
    RackOnLink r("K3 line\n");
    struct SectionPlan {
        uint8_t code, count;
        std::vector<uint8_t> closing;
    } plan[] = {{0x10, 0x07, {0x10, 0x40}}, {0x20, 0x18, {0x10, 0x4E}}, {0x30, 0x07, {0x10, 0x00}},
                {0x40, 0x18, {0x10, 0x0E}}, {0x50, 0x3C, {}},           {0x60, 0x3C, {}}};
    ASSERT_EQ(r.select(2), 0x02);
    ASSERT_NE(r.exchange(CMD_RESET_CODER), -1);
    int files = 0;
    for (const SectionPlan& s : plan) {
        ASSERT_NE(r.exchange(s.code), -1);
        ASSERT_NE(r.exchange(s.count), -1);
        for (int i = 0; i < s.count; ++i) {
            record_phoneme(r, s.count, std::string("f").append(std::to_string(files++)));
        }
        for (uint8_t b : s.closing) {
            ASSERT_NE(r.exchange(b), -1);
        }
    }
    for (uint8_t b : {CMD_SET_MODE, uint8_t{0x03}, CMD_END}) {
        ASSERT_NE(r.exchange(b), -1);
    }
    const sim::Board* k3 = r.rack->board(2);
    EXPECT_TRUE(k3->anomalies().empty()) << k3->anomalies()[0];
    ASSERT_EQ(k3->sections().size(), 6u);
    EXPECT_EQ(files, 182);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(k3->sections()[i].code, plan[i].code);
        EXPECT_EQ(k3->sections()[i].phonemes.size(), plan[i].count);
        EXPECT_EQ(k3->sections()[i].closing.has_value(), !plan[i].closing.empty());
    }
    EXPECT_EQ(*k3->sections()[2].closing, (std::array<uint8_t, 2>{0x10, 0x00}));
    EXPECT_EQ(k3->sections()[1].phonemes[10].files[0], "f17");
    EXPECT_EQ(r.select(2), 0x32);
}

TEST(SimulatedBoard, FaultsSilenceWrongEchoAndSoundNobodyRecords) {
    RackOnLink r("K7 ring line silent-after=3\nK8 ring line echo=3\n");
    EXPECT_EQ(r.select(6), 0x26);
    EXPECT_NE(r.exchange(CMD_LINE_STATUS), -1);
    EXPECT_NE(r.exchange(CMD_STOP_MODE), -1);
    EXPECT_EQ(r.exchange(CMD_END), -1);
    EXPECT_EQ(r.select(6), -1);
    EXPECT_EQ(r.select(7), 0x23);
    r.rack->hear("C:/wav/1.wav", 1s);  // selected but not recording
    EXPECT_EQ(r.rack->board(7)->unrecorded_sound(), std::vector<std::string>{"C:/wav/1.wav"});
    // A select in the middle of a phoneme frame is noted: the upload was broken off.
    ASSERT_NE(r.exchange(CMD_RESET_CODER), -1);
    r.exchange(0x80);
    r.exchange(0x64);
    r.exchange(0x64);
    EXPECT_EQ(r.select(7), 0x23);
    EXPECT_EQ(r.rack->board(7)->anomalies().size(), 1u);
}
