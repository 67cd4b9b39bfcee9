#include <gtest/gtest.h>

#include "program_options.h"
#include "serial_port.h"

using program::parse_program_options;

TEST(ProgramOptions, ReadsEveryOptionInBothSpellings) {
    auto p = parse_program_options(
        {"--port", "/dev/ttyUSB1", "--root=/srv/c", "--trace", "t.txt", "--console"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.port, "/dev/ttyUSB1");
    EXPECT_EQ(p.options.root, "/srv/c");
    EXPECT_EQ(p.options.trace_file, "t.txt");
    EXPECT_TRUE(p.options.console);
    EXPECT_FALSE(p.options.fast);

    p = parse_program_options({"--simulate", "r.rack", "--fast", "--time", "2026-12-07T09:05:03"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.rack_file, "r.rack");
    EXPECT_EQ(p.options.time->minute, 5);
    EXPECT_EQ(p.options.time->weekday, 1);

    p = parse_program_options({});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.port, core::default_port_name());
    EXPECT_EQ(p.options.root, ".");
}

TEST(ProgramOptions, RefusesWhatCannotWorkWithAReason) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--fast"}, "--fast работает только с --simulate: у настоящих плат время настоящее"},
        {{"--simulate", "r", "--time", "2026-12-07T09:05:03"},
         "--time задает часы ПК только вместе с --fast"},
        {{"--simulate", "r", "--fast", "--time", "9:05"},
         "неверное время '9:05': нужно ГГГГ-ММ-ДДTЧЧ:ММ:СС"},
        {{"--port", "COM2", "--simulate", "r"},
         "--port и --simulate вместе не задаются: либо порт, либо имитатор"},
        {{"--root"}, "у параметра --root нет значения"},
        {{"--colour"}, "неизвестный параметр '--colour'"},
        {{"--console=yes"}, "неизвестный параметр '--console=yes'"},
        {{"rack.txt"}, "неизвестный параметр 'rack.txt'"},
    };
    for (const Case& c : cases) {
        auto p = parse_program_options(c.args);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.error, c.error);
    }
}
