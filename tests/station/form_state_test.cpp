#include <gtest/gtest.h>

#include "dialrun/dialrun_controller.h"
#include "form/form_messages.h"
#include "inform/inform_controller.h"
#include "pinread/pinread_controller.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"

using namespace core;
using namespace station;
using namespace std::chrono_literals;

namespace {

// A controller whose form messages a test may send, as a worker thread would.
template <typename C>
struct Exposed : C {
    using C::C;
    using Controller::messages;
};

template <typename C>
void check_status_codes(const char* idle, const char* ended) {
    ProgramOnRack<Exposed<C>> p("K2 ring line\nK5 time noline\n");
    p.start_and_survey();
    const FormModel& f = p.controller->form();
    EXPECT_EQ(f.status_text, idle);
    p.ui([](auto& c) { c.OnChannelK(2); });
    std::vector<std::string> rows_before(f.mode_text.begin(), f.mode_text.end());

    // Code 3 names the checked channel, then current_channel follows the radio again.
    p.controller->messages().form_state(FORM_CHECKING, 7);
    EXPECT_EQ(f.status_text, " Контрольное прослушивание фонем канала K8");
    EXPECT_EQ(p.controller->state().table.current_channel, 1);
    p.controller->messages().form_state(FORM_WORK_ENDED, 4);
    EXPECT_EQ(f.status_text, ended);
    EXPECT_EQ(p.controller->state().table.current_channel, 1);
    p.controller->messages().form_state(FORM_IDLE, 4);
    EXPECT_EQ(f.status_text, idle);
    EXPECT_EQ(std::vector<std::string>(f.mode_text.begin(), f.mode_text.end()), rows_before)
        << "codes 1, 2 and 3 leave the rows alone";

    // A code that means nothing else (here 42) updates the row of its channel like code 0.
    p.controller->messages().form_state(42, 4);
    EXPECT_EQ(f.mode_text[4], "Служба времени");
    EXPECT_EQ(f.channel_box[4], 1);
    EXPECT_EQ(f.line_box[4], 0);
}

}  // namespace

TEST(FormState, StatusCodesOfEachProgram) {
    check_status_codes<dialrun::DialrunController>(" Ожидание старта или записи фонем в канал ",
                                                   " Завершение прозвонки абонентов ! ");
    check_status_codes<pinread::PinreadController>(" Ожидание старта или записи режима DTMF ",
                                                   " Прием DTMF-кодов остановлен ! ");
    check_status_codes<inform::InformController>(" Ожидание старта или записи фонем в канал ",
                                                 " Автоинформатор остановлен ! ");
}

template <typename C>
void check_the_end_is_one_step(const char* rack, const char* last_line, Button upload) {
    TempRoot root;
    root.write("Ring.TXT", record("1234567", "   1000") + "\r\n");
    ProgramOnRack<C> p(rack, Setting{"", root.path.string()});
    p.start_and_survey();
    p.press(Button::permit);
    // The engine's last log line comes just before its end: every action tried then must
    // be refused, and so must every later start.
    std::vector<std::optional<std::string>> answers;
    p.controller->state().log.set_listener(
        {[&](const std::string& line, bool) {
             if (line == last_line) {
                 for (Button b : {Button::check, upload, Button::start}) {
                     answers.push_back(p.ui([b](auto& c) { return c.press(b); }));
                 }
             }
         },
         nullptr});
    p.run_then_stop(1s);
    p.controller->state().log.set_listener({});
    EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{
                           "Запрещен контроль фонем ! ", "Запись запрещена! ", "Запрет старта ! "}))
        << last_line;
    EXPECT_EQ(p.controller->state().link_state, LINK_WORK_ENDED);
    EXPECT_EQ(p.press(Button::start), "Запрет старта ! ");
    EXPECT_EQ(p.log().back(), last_line);
}

TEST(FormState, TheEndOfARunIsOneStepThatNoActionCanEnter) {
    check_the_end_is_one_step<dialrun::DialrunController>("K1 ring line busy=200\n",
                                                          "Останов прозвонки", Button::upload);
    check_the_end_is_one_step<pinread::PinreadController>(
        "K1 dtmf line\n", "Останов приема DTMF-кодов", Button::upload);
    check_the_end_is_one_step<inform::InformController>(
        "K1 informer line\n", "Останов Автоинформатора", Button::informer_upload);
}

TEST(FormState, DialrunEndsWithAFullProgressBar) {
    ProgramOnRack<Exposed<dialrun::DialrunController>> p("K1 ring line\n");
    p.start_and_survey();
    EXPECT_EQ(p.controller->dialrun_form().progress, 0);
    p.controller->messages().form_state(FORM_WORK_ENDED, 0);
    EXPECT_EQ(p.controller->dialrun_form().progress, 100);
}

TEST(FormState, InformCountsTheMessagesInOgdOnCodeFour) {
    // K6's board answers CMD_WAIT_MESSAGE with 2, then 0.
    ProgramOnRack<Exposed<inform::InformController>> p("K6 informer line messages=2,0\n");
    p.start_and_survey();
    for (int poll = 0; poll < 3; ++poll) {
        p.link->send_select(5);
        ASSERT_TRUE(p.link->read_reply());
        p.link->send_byte(CMD_WAIT_MESSAGE);
        ASSERT_TRUE(p.link->read_reply());
        if (p.link->OGD() != 0) {
            p.controller->messages().form_state(inform::FORM_MESSAGES_COUNTED, 5);
        }
    }
    EXPECT_EQ(p.controller->inform_form().call_count[5], 2u);
    EXPECT_EQ(p.controller->row(5), (std::vector<std::string>{"1", "1", "Автоинформатор", "2"}));
}

TEST(UploadPermit, TogglesWithItsTextsOnlyWhileTheLinkIsFree) {
    ProgramOnRack<pinread::PinreadController> p("");
    p.controller->state().link_state = LINK_SURVEY;
    EXPECT_EQ(p.press(Button::permit), "Запрещено ! ");
    p.start_and_survey();
    EXPECT_EQ(p.press(Button::permit), "        Отключен\nзапрет записи режима DTMF !");
    EXPECT_EQ(p.controller->state().upload_permit, 1);
    EXPECT_EQ(p.press(Button::permit), "         Включен\nзапрет записи режима DTMF !");
    EXPECT_EQ(p.controller->state().upload_permit, 0);
    p.controller->state().link_state = LINK_WORK_ENDED;
    EXPECT_EQ(p.press(Button::permit), "Запрещено ! ");
    EXPECT_EQ(p.controller->state().upload_permit, 0);

    ProgramOnRack<dialrun::DialrunController> d("");
    d.start_and_survey();
    EXPECT_EQ(d.press(Button::permit), "        Отключен\nзапрет записи Фонем !");
}

TEST(DialrunSettings, SpinsStopAtTheEndsOfTheirRanges) {
    ProgramOnRack<dialrun::DialrunController> p("");
    auto set = [&](const char* word, const char* value) {
        return p.ui([&](auto& c) { return c.program_command(word, value); });
    };
    const dialrun::DialrunForm& f = p.controller->dialrun_form();
    EXPECT_EQ(f.wait_setting, 20u);
    EXPECT_EQ(f.stop_setting, 22u);
    EXPECT_TRUE(set("set-wait", "21"));
    EXPECT_EQ(f.wait_setting, 21u);
    EXPECT_TRUE(set("set-wait", "60"));
    EXPECT_EQ(f.wait_setting, 59u);
    EXPECT_TRUE(set("set-wait", "0"));
    EXPECT_EQ(f.wait_setting, 1u);
    EXPECT_TRUE(set("set-stop", "24"));
    EXPECT_EQ(f.stop_setting, 23u);
    EXPECT_FALSE(set("set-stop", "x"));
    EXPECT_FALSE(set("set-hour", "5"));
    EXPECT_EQ(f.stop_setting, 23u);
}
