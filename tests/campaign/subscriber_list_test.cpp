#include <gtest/gtest.h>

#include "campaign/result_log.h"
#include "campaign/subscriber_list.h"
#include "support/temp_root.h"

using namespace dialrun;

TEST(SubscriberList, ReadsFreshAndMarkedRecordsUpToTheEndOfTheList) {
    TempRoot root;
    root.write("Ring.TXT", record("1111111", "   1000") + record("2222222", "   2000") +
                               record("3333333", "   3000", 'Y'));
    SubscriberList list;
    std::string error;
    ASSERT_TRUE(list.open(root.file("Ring.TXT"), error)) << error;
    EXPECT_EQ(list.validate(), "");
    EXPECT_EQ(list.read_record(), FRESH_RECORD);
    EXPECT_EQ(list.record_buffer(), record("1111111", "   1000"));
    EXPECT_EQ(list.read_record(), FRESH_RECORD);
    EXPECT_EQ(list.read_record(), MARKED_RECORD);
    EXPECT_EQ(list.read_record(), LIST_END);
    EXPECT_EQ(list.list_offset(), 60);
}

TEST(SubscriberList, AnEmptyLineEndsTheListAndWhatFollowsIsNeverRead) {
    TempRoot root;
    root.write("Ring.TXT", record("1111111", "   1000") + "\r\nnot a record at all\r\n");
    SubscriberList list;
    std::string error;
    ASSERT_TRUE(list.open(root.file("Ring.TXT"), error));
    EXPECT_EQ(list.validate(), "");
    EXPECT_EQ(list.list_length() / RECORD_SIZE, 2);  // record_total counts bytes, not records
    EXPECT_EQ(list.read_record(), FRESH_RECORD);
    EXPECT_EQ(list.read_record(), LIST_END);
    EXPECT_EQ(list.list_offset(), 22);
    EXPECT_EQ(list.record_buffer(), record("1111111", "   1000"));
}

TEST(SubscriberList, MarkingRewritesOneByteAndReadingGoesOn) {
    TempRoot root;
    std::string original = record("1111111", "   1000") + record("2222222", "   2000") +
                           record("3333333", "   3000") + record("4444444", "   4000") +
                           record("5555555", "   5000");
    root.write("Ring.TXT", original);
    SubscriberList list;
    std::string error;
    ASSERT_TRUE(list.open(root.file("Ring.TXT"), error));
    ASSERT_EQ(list.read_record(), FRESH_RECORD);
    ASSERT_EQ(list.read_record(), FRESH_RECORD);  // say K3's record, ending at 40
    long k3_end = list.list_offset();
    ASSERT_EQ(list.read_record(), FRESH_RECORD);
    ASSERT_EQ(list.read_record(), FRESH_RECORD);  // two records further on
    EXPECT_EQ(list.mark_record(k3_end, 2), "");
    EXPECT_EQ(list.read_record(), FRESH_RECORD);
    EXPECT_EQ(list.record_buffer(), record("5555555", "   5000"));
    std::string expected = original;
    expected[20 + MARK_COLUMN] = 'Z';
    EXPECT_EQ(root.read("Ring.TXT"), expected);
    EXPECT_EQ(mark_for_reply(1), 'Y');
    EXPECT_EQ(mark_for_reply(0), 'N');
    EXPECT_EQ(mark_for_reply(3), 'N');
    EXPECT_EQ(mark_for_reply(255), 'N');
}

TEST(SubscriberList, MalformedListsAreRefusedNamingTheLineAndLeftUntouched) {
    std::string good = record("1111111", "   1000");
    struct Case {
        const char* what;
        std::string bytes;
        std::string fault;  // "" when the list is accepted
    } cases[] = {
        {"empty file", "", ""},
        {"only the end marker", "\r\n", ""},
        {"text after the end marker", good + "\r\n\xff\xfe garbage", ""},
        {"any mark counts as done", record("1111111", "   1000", 'Q'), ""},
        {"blanks in the amount", record("1111111", "       "), ""},
        {"LF-only lines", "1111111     1000  \n", "строка 1: длина строки 19 байт, а нужно 20"},
        {"CR-only lines",
         good.substr(0, 19) + good.substr(0, 19) + good.substr(0, 19) + good.substr(0, 19) +
             good.substr(0, 19),
         "строка 1: строка длиннее 79 байт"},
        {"mixed endings", good + "2222222     2000  \n" + good, "строка 2: длина строки 19 байт"},
        {"a doubled CR", good + "2222222     2000  \r\r\n", "строка 2: длина строки 21 байт"},
        {"LF without CR", good + "2222222     2000   \n", "строка 2: строка кончается LF без CR"},
        {"a 64 KiB line", good + std::string(65536, '7') + "\r\n",
         "строка 2: строка длиннее 79 байт"},
        {"NUL in the number",
         good + record(std::string("12\0"
                                   "4567",
                                   7),
                       "   1000"),
         "строка 2: в номере (позиции 1-7) не цифра в позиции 3"},
        {"a byte-order mark", "\xEF\xBB\xBF" + good.substr(3),
         "строка 1: в номере (позиции 1-7) не цифра в позиции 1"},
        {"a truncated last record", good + good.substr(0, 15),
         "строка 2: последняя запись оборвана: 15 байт без CR LF"},
        {"letters in the number", good + good + record("12A4567", "   1000"),
         "строка 3: в номере (позиции 1-7) не цифра в позиции 3"},
        {"a letter in the amount", record("1234567", "  1O000"),
         "строка 1: в сумме (позиции 10-16) не цифра и не пробел в позиции 13"},
        {"a lone LF", "\n" + good, "строка 1: длина строки 1 байт"},
    };
    for (const Case& c : cases) {
        TempRoot root;
        root.write("Ring.TXT", c.bytes);
        SubscriberList list;
        std::string error;
        ASSERT_TRUE(list.open(root.file("Ring.TXT"), error)) << c.what;
        std::string fault = list.validate();
        if (c.fault.empty()) {
            EXPECT_EQ(fault, "") << c.what;
        } else {
            EXPECT_EQ(fault.rfind("Ошибка в RING.TXT, " + c.fault, 0), 0u)
                << c.what << ": " << fault;
        }
        list.close();
        EXPECT_EQ(root.read("Ring.TXT"), c.bytes) << c.what;
    }
}

TEST(SubscriberList, IsForOneProgramAtATime) {
    TempRoot root;
    root.write("Ring.TXT", record("1111111", "   1000"));
    SubscriberList first, second;
    std::string error;
    ASSERT_TRUE(first.open(root.file("Ring.TXT"), error));
    EXPECT_FALSE(second.open(root.file("Ring.TXT"), error));
    EXPECT_EQ(error, "занят другой программой");
    first.close();
    EXPECT_TRUE(second.open(root.file("Ring.TXT"), error));
    EXPECT_FALSE(first.open(root.file("NoSuch.TXT"), error));
}

TEST(ResultLog, LinesAreSeventyBytesWithTheTimeAndTheMark) {
    core::LocalTime t;
    ASSERT_TRUE(core::parse_local_time("2026-03-05T09:07:03", t));
    std::string y = result_log_line("2345678 ", t, ' ');
    EXPECT_EQ(y, "2345678   05-03 09:07:03" + std::string(44, ' ') + "\r\n");
    EXPECT_EQ(y.size(), 70u);
    std::string n = result_log_line("2345678 ", t, 'Z');
    EXPECT_EQ(n[25], 'Z');
    EXPECT_EQ(n.size(), 70u);

    TempRoot root;
    EXPECT_EQ(append_result_line(root.path / "RINGY.txt", y), "");
    EXPECT_EQ(append_result_line(root.path / "RINGY.txt", y), "");
    EXPECT_EQ(root.read("RINGY.txt"), y + y);
    // A line torn by a kill is cut off, so that the next line lands whole in its place; a
    // first line torn, too. A long tail without LF is not ours to cut.
    const std::string torn_tails[][2] = {{y + y.substr(0, 30), y + y},
                                         {y.substr(0, 69), y},
                                         {std::string(80, 'x'), std::string(80, 'x') + y}};
    for (const auto& [before, after] : torn_tails) {
        root.write("RINGN.txt", before);
        EXPECT_EQ(append_result_line(root.path / "RINGN.txt", y), "");
        EXPECT_EQ(root.read("RINGN.txt"), after) << before.size();
    }
    std::filesystem::create_directories(root.path / "blocked");
    EXPECT_EQ(append_result_line(root.path / "blocked", y), "это папка, а не файл");
}
