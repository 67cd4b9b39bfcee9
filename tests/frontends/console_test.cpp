#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>

#include "console/console_front_end.h"
#include "dialrun/dialrun_controller.h"
#include "dialrun/dialrun_upload.h"
#include "inform/inform_controller.h"
#include "inform/inform_uploads.h"
#include "pinread/pinread_controller.h"
#include "pinread/pinread_upload.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"
#include "support/voice_prompts.h"

using namespace core;
using namespace station;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

template <typename C>
std::vector<std::string> run_console(ProgramOnRack<C>& p, const std::string& commands) {
    std::stringstream in(commands);
    std::stringstream out;
    program::ConsoleFrontEnd console(*p.controller, p.clock, &p.clock, out);
    p.controller->start(console, "");
    EXPECT_EQ(console.run(in), 0);
    EXPECT_FALSE(p.controller->busy());
    p.controller->close();
    return lines_of(out.str());
}

// A controller whose buttons return only once the worker they woke has logged its first line:
// the slowest user-interface thread, the fastest worker.
template <typename C>
struct SlowButtons : C {
    using C::C;
    std::optional<std::string> press(Button b) override {
        int before = this->state().log.count();
        std::optional<std::string> box = C::press(b);
        if (!box && this->busy() && logs_first.count(b) == 1) {
            auto give_up = std::chrono::steady_clock::now() + 10s;
            while (this->state().log.count() == before) {
                EXPECT_LT(std::chrono::steady_clock::now(), give_up) << "the worker logged nothing";
                std::this_thread::yield();
            }
        }
        return box;
    }
    std::set<Button> logs_first;  // the buttons whose worker logs before its first form message
};

// The transcript of a script, with the buttons quick or slow, on a fresh one-record list.
template <typename C>
std::string transcript(const TempRoot& root, const std::string& rack, const std::string& script,
                       const std::set<Button>& slow) {
    root.write("Ring.TXT", record("1234567", "   1000") + "\r\n");
    ProgramOnRack<SlowButtons<C>> p(rack, Setting{"", root.path.string()});
    p.controller->logs_first = slow;
    std::string text;
    for (const std::string& line : run_console(p, script)) {
        text += line + "\n";
    }
    return text;
}

template <typename C>
void check_the_order_is_fixed(const std::string& rack, const std::string& script,
                              const std::set<Button>& logs_first) {
    TempRoot root;
    for (const UploadTable* table : {&dialrun::dialrun_upload(), &pinread::pin_mode_upload(),
                                     &inform::informer_upload(), &inform::time_upload()}) {
        write_voice_prompts(DriveC(root.path), *table, 20);
    }
    std::string quick = transcript<C>(root, rack, script, {});
    EXPECT_EQ(transcript<C>(root, rack, script, logs_first), quick) << script;
    for (int run = 0; run < 50; ++run) {
        ASSERT_EQ(transcript<C>(root, rack, script, {}), quick) << script << " run " << run;
    }
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(Console, PrintsTheSurveyAsTaggedLinesAndShowsTheForm) {
    ProgramOnRack<inform::InformController> p("K2 informer line\nK3 time noline\n");
    auto out = run_console(p, "wait\nshow\n");
    ASSERT_GE(out.size(), 5u);
    EXPECT_EQ(out[0], "status\t            Опрос каналов ! ");
    EXPECT_EQ(out[1], "log\t   Проверка каналов и линий телефонов");
    EXPECT_EQ(out[2], "log\tПроверка 1 канала");
    EXPECT_EQ(out[3], "log\tПроверка 2 канала");
    EXPECT_EQ(out[4], "row\tK2\t1\t1\tАвтоинформатор\t0");
    EXPECT_TRUE(contains(out, "row\tK3\t1\t0\tСлужба времени\t0"));
    EXPECT_TRUE(contains(out, "status\t Ожидание старта или записи фонем в канал "));
    EXPECT_TRUE(contains(out, "show\tlink_state\t0"));
    EXPECT_TRUE(contains(out, "show\tcurrent_channel\t7"));
    EXPECT_TRUE(contains(out, "show\tupload_permit\t0"));
    EXPECT_TRUE(contains(out, "show\tcall_count[K2]\t0"));
    EXPECT_TRUE(contains(out, "show\tmode_text[K3]\tСлужба времени"));
}

TEST(Console, SleepLetsExactlyThatMuchProgramTimePass) {
    // No boards: each channel costs 2.1 s, so at 5 s the survey is at K3.
    ProgramOnRack<dialrun::DialrunController> p("");
    auto out = run_console(p, "sleep 5\nshow\nK3\nshow\n");
    auto log_count = std::find(out.begin(), out.end(), "show\tlog_count\t4");
    EXPECT_NE(log_count, out.end()) << "heading and K1..K3 by 5 s";
    EXPECT_TRUE(contains(out, "show\tchannel_radio\t2"));
    // The end of input waits for the survey, which then reaches K8 and the idle status.
    EXPECT_EQ(out.back(), "status\t Ожидание старта или записи фонем в канал ");
    EXPECT_GE(p.clock.now(), 8 * 2100ms);
}

TEST(Console, ButtonsAnswerWithBoxesAndUnknownCommandsChangeNothing) {
    ProgramOnRack<dialrun::DialrunController> p("K1 ring line\n");
    auto out = run_console(
        p, "permit\nwait\npermit\nfrobnicate 3\nset-wait 70\nsleep x\nshow\nquit\nshow\n");
    EXPECT_TRUE(contains(out, "box\tЗапрещено ! "));
    EXPECT_TRUE(contains(out, "box\t        Отключен\\nзапрет записи Фонем !"));
    EXPECT_TRUE(contains(out, "box\tНеизвестная команда: frobnicate 3"));
    EXPECT_TRUE(contains(out, "box\tНеверное число секунд: x"));
    EXPECT_TRUE(contains(out, "show\twait_setting\t59"));
    EXPECT_TRUE(contains(out, "show\tupload_permit\t1"));
    EXPECT_EQ(
        std::count_if(out.begin(), out.end(),
                      [](const std::string& l) { return l.rfind("show\tstatus_text", 0) == 0; }),
        1)
        << "nothing after quit is obeyed";
}

TEST(Console, EveryButtonThatWakesAWorkerGivesTheSameTranscriptEveryTime) {
    const std::string upload = "wait\nK1\npermit\nupload\nwait\n";
    check_the_order_is_fixed<dialrun::DialrunController>("K1 ring line\n", upload,
                                                         {Button::upload});
    check_the_order_is_fixed<dialrun::DialrunController>(
        "K1 ring line busy=0\n", "wait\nK1\ncheck\nwait\nstart\nwait\n", {});
    check_the_order_is_fixed<pinread::PinreadController>("K1 dtmf line\n", upload,
                                                         {Button::upload});
    check_the_order_is_fixed<pinread::PinreadController>(
        "K1 dtmf line\n", "wait\nK1\ncheck\nwait\nstart\nsleep 20\nstop\nwait\n", {Button::start});
    check_the_order_is_fixed<inform::InformController>(
        "K1 informer line\nK2 time line\n",
        "wait\nK1\npermit\ninformer\nwait\nK2\npermit\ntime\nwait\n",
        {Button::informer_upload, Button::time_upload});
    check_the_order_is_fixed<inform::InformController>(
        "K1 informer line\n", "wait\nK1\ncheck\nwait\nstart\nsleep 20\nstop\nwait\n", {});
}
