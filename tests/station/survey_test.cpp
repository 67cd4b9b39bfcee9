#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "dialrun/dialrun_controller.h"
#include "inform/inform_controller.h"
#include "pinread/pinread_controller.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"

using namespace core;
using namespace station;
using namespace std::chrono_literals;
using dialrun::DialrunController;
using inform::InformController;
using pinread::PinreadController;

template <typename T>
class Survey : public ::testing::Test {};
using Programs = ::testing::Types<DialrunController, PinreadController, InformController>;
TYPED_TEST_SUITE(Survey, Programs);

TYPED_TEST(Survey, WithNoBoardsEveryChannelCostsItsDeadlineAndThePause) {
    ProgramOnRack<TypeParam> p("");
    p.start_and_survey();
    std::vector<std::string> expected{"   Проверка каналов и линий телефонов"};
    for (int k = 1; k <= 8; ++k) {
        expected.push_back("Проверка " + std::to_string(k) + " канала");
    }
    EXPECT_EQ(p.log(), expected);
    ProgramState& s = p.controller->state();
    EXPECT_EQ(s.link_state, LINK_FREE);
    EXPECT_EQ(s.table.current_channel, 7);
    EXPECT_EQ(p.controller->form().channel_radio, 7);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(s.table.channel_present[k], 0);
        EXPECT_EQ(p.controller->form().channel_box[k], 0);
    }
    // 2 s deadline and 100 ms pause per channel, plus the program's own short pauses.
    Duration own = std::is_same_v<TypeParam, PinreadController>  ? 8ms
                   : std::is_same_v<TypeParam, InformController> ? 10ms
                                                                 : 0ms;
    EXPECT_EQ(p.clock.now(), 8 * (2100ms + own));
    EXPECT_NE(p.controller->form().status_text, STATUS_SURVEY);
}

TYPED_TEST(Survey, AWrongEchoStopsTheSurveyAndLocksTheLink) {
    ProgramOnRack<TypeParam> p("K1 ring line\nK3 time line echo=3\nK4 informer line\n");
    p.start_and_survey();
    std::vector<std::string> log = p.log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Проверка 3 канала");
    EXPECT_EQ(log.back(), "Ошибка адреса.Остaнов!");
    EXPECT_TRUE(p.received(3).empty()) << "K4 must not be surveyed";
    EXPECT_EQ(p.received(2), std::vector<uint8_t>{0x02}) << "K3 is left selected";
    EXPECT_EQ(p.controller->state().link_state, LINK_SURVEY);
    EXPECT_EQ(p.controller->form().status_text, STATUS_SURVEY);
    EXPECT_EQ(p.controller->form().mode_text[0], "Прозвонка");
    EXPECT_EQ(p.controller->form().channel_box[2], 0);
    EXPECT_EQ(p.press(Button::permit), "Запрещено ! ");
    EXPECT_EQ(p.controller->state().upload_permit, 0);
}

TYPED_TEST(Survey, ASilentReplyAfterTheEchoStopsTheSurveyKeepingWhatWasLearnt) {
    // K2 answers its select and falls silent at line status, stop mode or end in turn.
    for (int answered = 1; answered <= 3; ++answered) {
        ProgramOnRack<TypeParam> p("K2 ring line=0x04 silent-after=" + std::to_string(answered) +
                                   "\nK3 ring line\n");
        p.start_and_survey();
        ChannelTable& t = p.controller->state().table;
        EXPECT_EQ(p.log().back(), "Тайм-аут ответа.Остaнов!");
        EXPECT_EQ(t.channel_present[1], 1);
        EXPECT_EQ(t.channel_mode[1], MODE_RING);
        EXPECT_EQ(t.channel_line[1], answered == 1 ? 0x00 : 0x04);
        EXPECT_EQ(p.controller->form().channel_box[1], 0) << "no row without all four replies";
        EXPECT_TRUE(p.received(2).empty());
        EXPECT_EQ(p.controller->state().link_state, LINK_SURVEY);
    }
}

TYPED_TEST(Survey, RowsShowModeNamesAndLineBits) {
    ProgramOnRack<TypeParam> p(
        "K1 ring line=0x00\nK2 mode=0x20 line=0x04\nK3 informer line=0x08\nK4 time line=0x0C\n"
        "K5 dtmf line=0x0D\nK6 mode=0x50 line\nK7 mode=0x00 line\nK8 mode=0x70 line\n");
    p.start_and_survey();
    const FormModel& f = p.controller->form();
    std::string dtmf =
        std::is_same_v<TypeParam, PinreadController> ? "Прием DTMF-кода " : "Прием DTMF";
    std::vector<std::string> names{
        "Прозвонка", "Прозвонка",      "Автоинформатор", "Служба времени",
        dtmf,        "Неверный режим", "Неверный режим", "Неверный режим"};
    std::vector<int> lines{1, 1, 1, 0, 0, 1, 1, 1};
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(f.mode_text[k], names[k]) << "K" << k + 1;
        EXPECT_EQ(f.line_box[k], lines[k]) << "K" << k + 1;
        EXPECT_EQ(f.channel_box[k], 1);
    }
    // Every board found is stopped and released, and nothing else.
    EXPECT_EQ(p.received(0), (std::vector<uint8_t>{0x00, 0x58, 0xFE, 0xFF}));
    EXPECT_EQ(p.controller->state().table.channel_mode[1], 0x20);
}

TYPED_TEST(Survey, AClickInItsLastPauseLeavesK8SelectedAndServed) {
    // The last 100 ms pause after K8: the boards are all surveyed, the link not yet free.
    ProgramOnRack<TypeParam> p("K1 ring line\nK8 informer line\n");
    p.clock.hold_at(12800ms);
    p.controller->start(p.front_end, "");
    ASSERT_TRUE(p.clock.wait_reached(12800ms, 5s));
    ASSERT_EQ(p.received(7).size(), 4u);
    ASSERT_EQ(p.controller->state().link_state, LINK_SURVEY);
    p.ui([](auto& c) { c.OnChannelK(1); });
    p.clock.release_hold();
    ASSERT_TRUE(p.controller->wait_idle(5s));
    EXPECT_EQ(p.controller->form().channel_radio, 7);
    EXPECT_EQ(p.controller->state().table.current_channel, 7);

    // A click now selects K1, and the check serves K1, not K8.
    p.ui([](auto& c) { c.OnChannelK(1); });
    EXPECT_EQ(p.controller->form().channel_radio, 0);
    EXPECT_EQ(p.controller->state().table.current_channel, 0);
    EXPECT_NE(p.press(Button::check), "Нет канала ! ");
    ASSERT_TRUE(p.controller->wait_idle(5s));
    EXPECT_GT(p.received(0).size(), 4u);
    EXPECT_EQ(p.received(7).size(), 4u);
    EXPECT_EQ(p.controller->form().channel_radio, 0);
    EXPECT_EQ(p.controller->state().table.current_channel, 0);
}

TYPED_TEST(Survey, WithK8EmptyTheFormShowsK8AndTheCheckFindsNoChannel) {
    // K8's 2 s deadline has passed: the survey is in its last pause.
    ProgramOnRack<TypeParam> p("K1 ring line\n");
    p.clock.hold_at(14790ms);
    p.controller->start(p.front_end, "");
    ASSERT_TRUE(p.clock.wait_reached(14790ms, 5s));
    ASSERT_EQ(p.controller->state().link_state, LINK_SURVEY);
    p.ui([](auto& c) { c.OnChannelK(1); });
    p.clock.release_hold();
    ASSERT_TRUE(p.controller->wait_idle(5s));
    EXPECT_EQ(p.controller->form().channel_radio, 7);
    EXPECT_EQ(p.press(Button::check), "Нет канала ! ");
}

template <typename ProgramController>
std::string first_trace_lines(int count) {
    std::string path = temp_path("survey_pauses_trace.txt");
    {
        ProgramOnRack<ProgramController> p("K1 ring line\nK2 ring line\n", path);
        p.start_and_survey();
    }
    std::ifstream in(path);
    std::string line, text;
    for (int i = 0; i < count && std::getline(in, line); ++i) {
        text += line + "\n";
    }
    std::remove(path.c_str());
    return text;
}

TEST(SurveyPauses, EachProgramSpacesItsBytesAsItsOriginalDid) {
    // Dialrun: no pauses; Pinread: 4 ms after the form update and after the select; Inform:
    // 10 ms after the select. The next channel follows 100 ms after the last reply.
    EXPECT_EQ(first_trace_lines<DialrunController>(9),
              "0.000 > 00\n0.002 < 20\n0.002 > 58\n0.004 < 00\n0.004 > FE\n0.006 < FE\n"
              "0.006 > FF\n0.008 < FF\n0.108 > 01\n");
    EXPECT_EQ(first_trace_lines<PinreadController>(9),
              "0.004 > 00\n0.008 < 20\n0.008 > 58\n0.010 < 00\n0.010 > FE\n0.012 < FE\n"
              "0.012 > FF\n0.014 < FF\n0.118 > 01\n");
    EXPECT_EQ(first_trace_lines<InformController>(9),
              "0.000 > 00\n0.010 < 20\n0.010 > 58\n0.012 < 00\n0.012 > FE\n0.014 < FE\n"
              "0.014 > FF\n0.016 < FF\n0.116 > 01\n");
}

TEST(ChannelRadio, IgnoredWhileWorkRunsAndTakenOtherwise) {
    ProgramOnRack<InformController> p("K1 informer line\nK3 time line\n");
    p.start_and_survey();
    ProgramState& s = p.controller->state();
    s.link_state = LINK_WORK;
    p.ui([](auto& c) { c.OnChannelK(3); });
    EXPECT_EQ(s.table.current_channel, 7);
    EXPECT_EQ(p.controller->form().channel_radio, 7);
    for (LinkState state : {LINK_FREE, LINK_WORK_ENDED, LINK_UPLOAD}) {
        s.link_state = state;
        p.ui([](auto& c) { c.OnChannelK(3); });
        EXPECT_EQ(s.table.current_channel, 2);
        EXPECT_EQ(p.controller->form().channel_radio, 2);
        p.ui([](auto& c) { c.OnChannelK(8); });
    }
}

TEST(ChannelRadio, AClickDuringTheSurveyMovesTheSelectionNotTheSurvey) {
    ProgramOnRack<DialrunController> p("K1 ring line\nK2 ring line\nK3 ring line\nK4 ring line\n");
    p.clock.hold_at(150ms);  // K2 is being surveyed then
    p.controller->start(p.front_end, "");
    ASSERT_TRUE(p.clock.wait_reached(150ms, 5s));
    p.ui([](auto& c) { c.OnChannelK(4); });
    EXPECT_EQ(p.controller->state().table.current_channel, 3);
    EXPECT_EQ(p.controller->form().channel_radio, 3);
    p.clock.release_hold();
    ASSERT_TRUE(p.controller->wait_idle(5s));
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(p.received(k), (std::vector<uint8_t>{uint8_t(k), 0x58, 0xFE, 0xFF}));
    }
    EXPECT_EQ(p.log().back(), "Проверка 8 канала");
    EXPECT_EQ(p.controller->state().link_state, LINK_FREE);
}

TEST(PortTrouble, APortThatDidNotOpenIsTheFirstLineOfTheLog) {
    ProgramOnRack<PinreadController> p("");
    p.start_and_survey("Порт /dev/ttyS0 не открыт: нет доступа");
    EXPECT_EQ(p.log()[0], "Порт /dev/ttyS0 не открыт: нет доступа");
    EXPECT_EQ(p.log()[1], "   Проверка каналов и линий телефонов");
    EXPECT_EQ(p.controller->state().link_state, LINK_FREE);
}
