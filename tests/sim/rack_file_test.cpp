#include <gtest/gtest.h>

#include "sim/rack_file.h"

using namespace sim;

TEST(RackFile, ReadsTheDocumentedExample) {
    RackParse p = parse_rack_text(
        "# sample rack\n"
        "K1 ring     line\n"
        "K2 ring     line   busy=3 results=1,2,0\n"
        "\n"
        "K3 informer noline\n"
        "K4 time     line   messages=0,3   # two polls\n"
        "K5 dtmf     line   codes=1234,9870 ring=2 dial=3\n"
        "K6 mode=0x50 line=0x04\n"
        "K7 ring     line   silent-after=12\n"
        "K8 ring     line   echo=3\n",
        "sample.rack");
    ASSERT_TRUE(p.ok) << p.error;
    const auto& b = p.rack.boards;
    EXPECT_EQ(b[0]->mode, 0x20);
    EXPECT_EQ(b[0]->busy, 2);
    EXPECT_EQ(b[1]->busy, 3);
    EXPECT_EQ(b[1]->results, (std::vector<uint8_t>{1, 2, 0}));
    EXPECT_EQ(b[2]->mode, 0x10);
    EXPECT_EQ(b[2]->line, 0x0C);
    EXPECT_EQ(b[3]->messages, (std::vector<uint8_t>{0, 3}));
    EXPECT_EQ(b[4]->codes.size(), 2u);
    EXPECT_EQ(b[4]->codes[1], (std::array<uint8_t, 4>{9, 8, 7, 0}));
    EXPECT_EQ(b[4]->dial, 3);
    EXPECT_EQ(b[5]->mode, 0x50);
    EXPECT_EQ(b[5]->line, 0x04);
    EXPECT_EQ(b[6]->silent_after, 12);
    EXPECT_EQ(b[7]->echo, 3);

    RackParse q = parse_rack_text("k2 dtmf dial=forever play-time=2.5 message-time=1\n", "x");
    ASSERT_TRUE(q.ok) << q.error;
    EXPECT_FALSE(q.rack.boards[0]);
    EXPECT_EQ(q.rack.boards[1]->dial, DIAL_FOREVER);
    EXPECT_DOUBLE_EQ(*q.rack.boards[1]->play_time, 2.5);
}

TEST(RackFile, ErrorsNameTheFileTheLineAndTheFault) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"K1 ring\nK9 ring\n",
         "r.rack, строка 2: строка должна начинаться с канала K1..K8, а не с 'K9'"},
        {"K1 ring\n\nK1 time\n", "r.rack, строка 3: канал K1 уже описан в строке 1"},
        {"K1 ring dtmf\n", "r.rack, строка 1: режим задан дважды"},
        {"K1 ring line noline\n", "r.rack, строка 1: линия задана дважды"},
        {"K1 rnig\n", "r.rack, строка 1: неизвестное слово 'rnig'"},
        {"K1 ring colour=red\n", "r.rack, строка 1: неизвестный параметр 'colour'"},
        {"K1 mode=0x58\n",
         "r.rack, строка 1: неверное значение 'mode=0x58': нужен код режима 0x00..0x70 (биты 4-6)"},
        {"K1 ring busy=-1\n", "r.rack, строка 1: неверное значение 'busy=-1'"},
        {"K1 ring results=1,,2\n",
         "r.rack, строка 1: неверное значение 'results=1,,2': нужен список чисел 0..255 через "
         "запятую"},
        {"K1 ring results=256\n",
         "r.rack, строка 1: неверное значение 'results=256': нужен список чисел 0..255 через "
         "запятую"},
        {"K1 dtmf codes=123\n",
         "r.rack, строка 1: неверное значение 'codes=123': нужны коды из четырех цифр через "
         "запятую"},
        {"K1 dtmf codes=12a4\n",
         "r.rack, строка 1: неверное значение 'codes=12a4': нужны коды из четырех цифр через "
         "запятую"},
        {"K1 ring echo=8\n", "r.rack, строка 1: неверное значение 'echo=8': нужен адрес 0..7"},
        {"K1 ring late=0\n", "r.rack, строка 1: неверное значение 'late=0'"},
        {"K1 ring play-time=-2\n",
         "r.rack, строка 1: неверное значение 'play-time=-2': нужно число секунд"},
        {"K1 ring dial=sometimes\n", "r.rack, строка 1: неверное значение 'dial=sometimes'"},
    };
    for (const Case& c : cases) {
        RackParse p = parse_rack_text(c.text, "r.rack");
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_EQ(p.error, c.error);
    }
    RackParse missing = load_rack_file("/nonexistent/rack.txt");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error.rfind("/nonexistent/rack.txt: файл не открыт: ", 0), 0u);
}
