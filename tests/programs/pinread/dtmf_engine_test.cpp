#include <gtest/gtest.h>

#include <fstream>

#include "form/form_messages.h"
#include "pinread/pinread_controller.h"
#include "pinread/pinread_upload.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"
#include "support/voice_prompts.h"

using namespace core;
using namespace station;
using namespace pinread;
using namespace std::chrono_literals;

namespace {

struct Exposed : PinreadController {
    using Controller::messages;
    using PinreadController::engine_state;
    using PinreadController::PinreadController;
};

struct Reception {
    explicit Reception(const std::string& rack, const std::string& trace = "")
        : p(rack, Setting{trace, root.path.string()}) {
        p.start_and_survey();
    }
    std::optional<std::string> press(Button b) { return p.press(b); }
    // Lets the reception run for a while of program time, then stops it and waits for the end.
    void run_for(Duration d) { p.run_then_stop(d); }
    // The bytes a board received after the survey and the engine's start pass.
    std::vector<uint8_t> polled(int k) const {
        const std::vector<uint8_t>& r = p.rack->board(k)->received();
        return std::vector<uint8_t>(r.begin() + 7, r.end());
    }
    std::vector<std::string> rows_seen;

    TempRoot root;
    ProgramOnRack<Exposed> p;
};

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(DtmfEngine, OneCallRunsArmRingDialReadSpeakBackHangUpAndArmAgain) {
    std::string trace = temp_path("dtmf_trace.txt");
    Reception r("K2 dtmf line codes=1234,9870 ring=2 dial=3\n", trace);
    std::vector<std::string> rows;
    r.p.front_end.on_form_changed = [&] {
        const std::string& row = r.p.controller->form().mode_text[1];
        if (rows.empty() || rows.back() != row) {
            rows.push_back(row);
        }
    };
    r.run_for(8s);
    r.p.front_end.on_form_changed = nullptr;
    std::vector<uint8_t> call{
        0x01, 0x37, 0xF4,                    // ready: armed for a caller
        0x01, 0x01,                          // waiting for a ring
        0x01, 0x01, 0x01,                    // the caller dials
        0x01, 0x36, 0xFF, 0xFF, 0xFF, 0xFF,  // ready: read the four keys
        0x38, 0xF1, 0x01,                    // first key spoken back; busy playing
        0x01, 0x38, 0xF2, 0x01, 0x01, 0x38, 0xF3, 0x01,
        0x01, 0x38, 0xF4, 0x01, 0x01, 0x39, 0xFF,  // receiver down, bus released
        0x01, 0x37, 0xF4};                         // armed again
    std::vector<uint8_t> polled = r.polled(1);
    ASSERT_GE(polled.size(), call.size());
    EXPECT_EQ(std::vector<uint8_t>(polled.begin(), polled.begin() + call.size()), call);
    EXPECT_GE(r.p.rack->board(1)->callers_served(), 2);
    std::vector<std::string> one_call{"Ожд. Ring", "Ожд. набора DTMF", "DTMF - 1,2,3,4",
                                      "Play wav",  "Прием DTMF-кода ", "Ожд. Ring"};
    ASSERT_GE(rows.size(), one_call.size() + 1);
    EXPECT_EQ(std::vector<std::string>(rows.begin() + 1, rows.begin() + 1 + one_call.size()),
              one_call);
    EXPECT_TRUE(std::find(rows.begin(), rows.end(), "DTMF - 9,8,7,0") != rows.end());
    EXPECT_EQ(rows.back(), "Работа остановлена");
    // Pauses: 50 ms around every select and before '7', 45 ms before the other bytes.
    std::vector<std::pair<double, std::string>> events = trace_events(trace);
    int checked = 0;
    size_t engine_start = 0;  // the survey before it has pauses of its own
    while (engine_start < events.size() && events[engine_start].second != "> 34") {
        ++engine_start;
    }
    ASSERT_GT(engine_start, 0u);
    for (size_t i = engine_start; i + 2 < events.size(); ++i) {
        const std::string& what = events[i].second;
        double gap = events[i].first - events[i - 1].first;
        if (what == "> 37") {
            EXPECT_NEAR(gap, 0.050, 0.0005);
            EXPECT_NEAR(events[i + 2].first - events[i + 1].first, 0.045, 0.0005);  // F4
            ++checked;
        } else if (what == "> 36" || what == "> 39") {
            EXPECT_NEAR(gap, 0.045, 0.0005);
            ++checked;
        } else if (what == "> 01" && events[i + 1].second == "< 41") {
            EXPECT_NEAR(events[i + 1].first - events[i].first, 0.050, 0.0005);
            ++checked;
        }
    }
    EXPECT_GT(checked, 10);
    std::vector<std::string> log = r.p.log();
    EXPECT_EQ(log.back(), "Останов приема DTMF-кодов");
    EXPECT_EQ(r.p.controller->form().status_text, " Прием DTMF-кодов остановлен ! ");
    EXPECT_EQ(r.p.controller->state().link_state, LINK_WORK_ENDED);
    EXPECT_TRUE(r.p.rack->board(1)->anomalies().empty());
    std::remove(trace.c_str());
}

TEST(DtmfEngine, AStopWhileABoardWaitsForARingPlaysTheStopPhraseAndHangsUp) {
    Reception r("K1 dtmf line ring=1000\n");
    r.run_for(3s);
    std::vector<uint8_t> polled = r.polled(0);
    std::vector<uint8_t> tail{0x80, 0x38, 0xF0, 0x00, 0x00, 0x39, 0xFE, 0xFF};
    ASSERT_GE(polled.size(), tail.size());
    EXPECT_EQ(std::vector<uint8_t>(polled.end() - tail.size(), polled.end()), tail);
    std::vector<std::string> log = r.p.log();
    EXPECT_TRUE(contains(log, "Adres+7bit"));
    EXPECT_TRUE(contains(log, "Play wav-ostanova"));
    EXPECT_TRUE(contains(log, "Play wav N0"));
    EXPECT_EQ(r.p.controller->form().mode_text[0], "Работа остановлена");
    EXPECT_EQ(log.back(), "Останов приема DTMF-кодов");
}

TEST(DtmfEngine, AStopWhileAnIdleBoardIsReadyStopsItWithoutArming) {
    Reception r("K3 dtmf line\n");
    r.p.clock.hold_at(r.p.clock.now());  // the stop comes before the first poll
    ASSERT_EQ(r.press(Button::start), std::nullopt);
    EXPECT_EQ(r.press(Button::stop), std::nullopt);
    r.p.clock.release_hold();
    ASSERT_TRUE(r.p.controller->wait_idle(10s));
    EXPECT_EQ(r.polled(2), (std::vector<uint8_t>{0x02, 0xFE, 0xFF}));
    EXPECT_TRUE(contains(r.p.log(), "Команда Priem PinKoda"));
    EXPECT_EQ(r.p.controller->form().mode_text[2], "Работа остановлена");
}

TEST(DtmfEngine, ACallerWhoDialsTooLongGetsTheStopPhraseAndTheReceiverPutDown) {
    Reception r("K1 dtmf line dial=forever ring=0\n");
    // The dial timer starts at the first poll that finds the caller dialling; the caller is
    // cut off once more than 58 whole seconds have passed.
    std::optional<Duration> dialling_from, cut_off_at;
    r.p.controller->state().log.set_listener({[&](const std::string& line, bool) {
                                                  if (line == "Контроль Taim-Ayta" &&
                                                      !dialling_from) {
                                                      dialling_from = r.p.clock.now();
                                                  }
                                              },
                                              nullptr});
    r.p.front_end.on_form_changed = [&] {
        if (r.p.controller->form().mode_text[0] == "Останов,Тайм-Аут набора" && !cut_off_at) {
            cut_off_at = r.p.clock.now();
        }
    };
    r.run_for(75s);
    r.p.front_end.on_form_changed = nullptr;
    r.p.controller->state().log.set_listener({});
    ASSERT_TRUE(dialling_from && cut_off_at);
    EXPECT_GT(*cut_off_at - *dialling_from, 58s);
    EXPECT_LT(*cut_off_at - *dialling_from, 61s);
    std::vector<uint8_t> polled = r.polled(0);
    auto bit7 = std::find(polled.begin(), polled.end(), 0x80);
    ASSERT_GE(polled.end() - bit7, 3);
    EXPECT_EQ(std::vector<uint8_t>(bit7, bit7 + 3), (std::vector<uint8_t>{0x80, 0x38, 0xF0}));
    EXPECT_NE(std::find(bit7, polled.end(), 0x39), polled.end());
    const std::vector<uint8_t>& phrases = r.p.rack->board(0)->phrases();
    ASSERT_FALSE(phrases.empty());
    EXPECT_EQ(phrases.front(), 0xF0);
    EXPECT_TRUE(r.p.rack->board(0)->anomalies().empty());
}

TEST(DtmfEngine, TheReceptionEndsOnlyWhenTheLastServedChannelHasStopped) {
    Reception r("K1 dtmf line\nK4 dtmf line ring=1000\nK5 ring line\nK7 dtmf noline\n");
    Duration until = r.p.clock.now() + 2s;
    r.p.clock.hold_at(until);
    ASSERT_EQ(r.press(Button::start), std::nullopt);
    EXPECT_EQ(r.press(Button::start), "Запрет старта ! ");
    ASSERT_TRUE(r.p.clock.wait_reached(until, 10s));
    r.press(Button::stop);
    r.p.clock.release_hold();
    ASSERT_TRUE(r.p.controller->wait_idle(20s));
    // Both served channels were stopped and released before the end.
    for (int k : {0, 3}) {
        std::vector<uint8_t> polled = r.polled(k);
        ASSERT_GE(polled.size(), 2u);
        EXPECT_EQ(std::vector<uint8_t>(polled.end() - 2, polled.end()),
                  (std::vector<uint8_t>{CMD_STOP_MODE, CMD_END}));
    }
    EXPECT_EQ(r.p.log().back(), "Останов приема DTMF-кодов");
    EXPECT_TRUE(r.p.rack->board(6)->received().size() == 4u) << "no line: not served";
    EXPECT_EQ(r.press(Button::stop), "Запрет Останова ! ");
    EXPECT_EQ(r.press(Button::start), "Запрет старта ! ");
    EXPECT_EQ(r.press(Button::upload), "Запись запрещена! ");
    EXPECT_EQ(r.press(Button::check), "Запрещен контроль фонем ! ");
}

TEST(DtmfEngine, AMissingReplyEndsTheReceptionAtOnceWithTheStepsText) {
    // Survey 4 bytes, start pass 3 (select, '4', end), then the first poll: select, '7', F4.
    struct Case {
        int answered;
        const char* text;
    } cases[] = {{4, "Тайм-Аут0"},      {5, "Тайм-Аут00"}, {6, "Тайм-Аут000"},
                 {7, "Тайм-Аут Adres"}, {8, "Тайм-Аут"},   {9, "Тайм-АутF2"}};
    for (const Case& c : cases) {
        Reception r("K2 dtmf line silent-after=" + std::to_string(c.answered) + "\nK3 dtmf line\n");
        ASSERT_EQ(r.press(Button::start), std::nullopt);
        ASSERT_TRUE(r.p.controller->wait_idle(20s));
        std::vector<std::string> log = r.p.log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], c.text) << c.answered;
        EXPECT_EQ(log.back(), "Останов приема DTMF-кодов");
        EXPECT_EQ(r.p.controller->state().link_state, LINK_WORK_ENDED);
        EXPECT_EQ(r.p.controller->form().status_text, " Прием DTMF-кодов остановлен ! ");
    }
    // From the engine's start every wait may last 30 s.
    Reception r("K2 dtmf line silent-after=7\n");
    Duration started = r.p.clock.now();
    ASSERT_EQ(r.press(Button::start), std::nullopt);
    ASSERT_TRUE(r.p.controller->wait_idle(20s));
    EXPECT_GE(r.p.clock.now() - started, 30s);
    EXPECT_LT(r.p.clock.now() - started, 31s);
}

TEST(DtmfEngine, StartNeedsADtmfChannelWithALineAndStopNeedsAReception) {
    Reception r("K1 dtmf noline\nK2 ring line\n");
    EXPECT_EQ(r.press(Button::stop), "Запрет Останова ! ");
    EXPECT_EQ(r.press(Button::start), "Нет канала приема DTMF-кода !");
    EXPECT_EQ(r.p.controller->state().link_state, LINK_FREE);
}

TEST(DtmfEngine, TheLogIsEmptiedOnceItHoldsMoreThan500Lines) {
    Reception r("K1 dtmf line ring=100000\n");
    int cleared = 0;
    size_t lines = 0;
    size_t most = 0;
    // The listener runs under the log's own lock: count here rather than ask the log.
    r.p.controller->state().log.set_listener(
        {[&](const std::string&, bool) { most = std::max(most, ++lines); },
         [&] {
             ++cleared;
             lines = 0;
         }});
    r.run_for(60s);
    EXPECT_GE(cleared, 1);
    EXPECT_LE(most, 501u + 11u) << "a cycle adds at most its own lines after the check";
}

TEST(PinreadForm, CodesShowWhatAChannelIsDoing) {
    ProgramOnRack<Exposed> p("K3 dtmf line\nK4 mode=0x60 line\n");
    p.start_and_survey();
    PinreadState& s = p.controller->engine_state();
    s.call[2].pin_digits[0] = 1;
    s.call[2].pin_digits[1] = 2;
    s.call[2].pin_digits[2] = 3;
    s.call[2].pin_digits[3] = 10;
    const FormModel& f = p.controller->form();
    struct Case {
        int code;
        const char* row;
    } cases[] = {{4, "DTMF - 1,2,3,10"},  {5, "Останов,Тайм-Аут набора"},
                 {6, "Ожд. Ring"},        {7, "Ожд. набора DTMF"},
                 {8, "Play wav"},         {9, "Работа остановлена"},
                 {0, "Прием DTMF-кода "}, {42, "Прием DTMF-кода "}};
    for (const Case& c : cases) {
        p.controller->messages().form_state(c.code, 2);
        EXPECT_EQ(f.mode_text[2], c.row) << c.code;
        EXPECT_EQ(f.channel_box[2], 1);
    }
    s.call[2].pin_digits[0] = 255;
    p.controller->messages().form_state(4, 2);
    EXPECT_EQ(f.mode_text[2], "DTMF - 255,2,3,10");
    p.controller->messages().form_state(0, 3);
    EXPECT_EQ(f.mode_text[3], "Неверный режим");
}

TEST(PinModeUpload, SendsSixteenPhrasesAndModeFour) {
    std::string trace = temp_path("pin_upload_trace.txt");
    Reception r("K6 ring line\n", trace);
    write_voice_prompts(DriveC(r.root.path), pin_mode_upload());
    r.p.ui([](auto& c) { c.OnChannelK(6); });
    EXPECT_EQ(r.press(Button::upload), "Нет разрешения Записи! ");
    r.press(Button::permit);
    r.p.clock.hold_at(r.p.clock.now());  // look at the form before the upload runs
    EXPECT_EQ(r.press(Button::upload), std::nullopt);
    EXPECT_EQ(r.p.controller->form().status_text, "Запись режима DTMF в канал K6");
    r.p.clock.release_hold();
    ASSERT_TRUE(r.p.controller->wait_idle(10s));
    const sim::Board& k6 = *r.p.rack->board(5);
    std::vector<uint8_t> expected{0x05, 0x53, 0x70, 0x10};
    expected.insert(expected.end(), 32, 0x10);
    expected.insert(expected.end(), {0x52, 0x04, 0xFF});
    EXPECT_EQ(std::vector<uint8_t>(k6.received().begin() + 4, k6.received().end()), expected);
    ASSERT_EQ(k6.sections()[0].phonemes.size(), 16u);
    EXPECT_EQ(k6.sections()[0].phonemes[15].files[0], "c:/PinWav/P15.wav");
    EXPECT_EQ(k6.mode(), MODE_DTMF);
    EXPECT_EQ(r.p.log().back(), "===Запись режима PINKOD завершена===");
    // 500 ms before P0 only.
    std::vector<std::string> lines = file_lines(trace);
    std::vector<double> gaps;
    for (size_t i = 3; i < lines.size(); ++i) {
        if (lines[i].find(" play ") != std::string::npos) {
            gaps.push_back(std::stod(lines[i - 2]) - std::stod(lines[i - 3]));
        }
    }
    ASSERT_EQ(gaps.size(), 16u);
    EXPECT_NEAR(gaps[0], 0.5, 0.0005);
    for (size_t i = 1; i < 16; ++i) {
        EXPECT_LT(gaps[i], 0.001) << i;
    }
    // The survey read the mode at start: still no DTMF channel until a restart.
    EXPECT_EQ(r.press(Button::start), "Нет канала приема DTMF-кода !");
    std::remove(trace.c_str());
}
