#include <gtest/gtest.h>

#include <sstream>

#include "console_front_end.h"
#include "dialrun_controller.h"
#include "inform_controller.h"
#include "program_fixture.h"

using namespace core;
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

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(Console, PrintsTheSurveyAsTaggedLinesAndShowsTheForm) {
    ProgramOnRack<inform::InformController> p("K2 informer line\nK3 time noline\n");
    auto out = run_console(p, "wait\nshow\n");
    ASSERT_GE(out.size(), 4u);
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
