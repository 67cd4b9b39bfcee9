#include <gtest/gtest.h>

#include "campaign/attempts.h"
#include "campaign/logged_verdicts.h"
#include "campaign/result_log.h"
#include "campaign/subscriber_list.h"
#include "files/durable_file.h"
#include "support/temp_root.h"

using namespace campaign;

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
    EXPECT_EQ(append_result_line(root.path / "RINGY.txt", y, 0), "");
    EXPECT_EQ(append_result_line(root.path / "RINGY.txt", y, 0), "");
    EXPECT_EQ(root.read("RINGY.txt"), y + y);
    // A line torn by a kill is cut off, so that the next line lands whole in its place; a
    // first line torn, too. A long tail without LF is not ours to cut.
    const std::string torn_tails[][2] = {{y + y.substr(0, 30), y + y},
                                         {y.substr(0, 69), y},
                                         {std::string(80, 'x'), std::string(80, 'x') + y}};
    for (const auto& [before, after] : torn_tails) {
        root.write("RINGN.txt", before);
        EXPECT_EQ(append_result_line(root.path / "RINGN.txt", y, 0), "");
        EXPECT_EQ(root.read("RINGN.txt"), after) << before.size();
    }
    std::filesystem::create_directories(root.path / "blocked");
    EXPECT_EQ(append_result_line(root.path / "blocked", y, 0), "это папка, а не файл");
}

// A hand-edited list moves its records: each keeps its count where its number went, if the
// list holds the number once; the later line of the file stands where two entries meet.
TEST(Attempts, FollowTheirNumberThroughAHandEditedList) {
    const std::string a = "1000001", b = "1000002", c = "1000003", d = "1000004", e = "1000005";
    struct Case {
        const char* what;
        std::string file;
        std::vector<std::string> list;
        std::vector<int> counts;  // of each record of the list, in order
        int unmatched;
    } cases[] = {
        {"the first line deleted",
         "1 1000001 1 100\r\n2 1000002 2 100\r\n3 1000003 3 100\r\n4 1000004 1 100\r\n",
         {b, c, d},
         {2, 3, 1},
         1},
        {"nothing moved", "1 1000001 1 100\r\n2 1000002 3 100\r\n", {a, b}, {1, 3}, 0},
        {"swapped, counted on, swapped back",
         "1 1000001 1 100\r\n2 1000001 2 200\r\n",
         {a, b},
         {2, 0},
         0},
        {"moved, then set back by ringlist retry",
         "1 1000001 3 100\r\n2 1000001 0 0\r\n",
         {b, a},
         {0, 0},
         0},
        {"a number the list holds twice is not guessed",
         "1 1000005 1 100\r\n4 1000005 2 100\r\n3 1000004 1 100\r\n",
         {e, e, d},
         {1, 0, 1},
         1},
        {"an entry past the list's end", "9 1000003 2 100\r\n", {c}, {2}, 0},
        // An editor's LF-only lines still count, or the cap would not hold; only a last line
        // without its line feed was torn by a kill.
        {"lines that lost their CR", "1 1000001 2 100\n2 1000002 1 100\n", {a, b}, {2, 1}, 0},
        {"a torn last line", "1 1000001 2 100\r\n2 1000002 3 100", {a, b}, {2, 0}, 0},
    };
    for (const Case& t : cases) {
        int unmatched = -1;
        campaign::Attempts matched =
            campaign::Attempts::parse(t.file).matched_to(t.list, unmatched);
        std::vector<int> counts;
        for (size_t i = 0; i < t.list.size(); ++i) {
            counts.push_back(matched.of(static_cast<int>(i + 1), t.list[i]).count);
        }
        EXPECT_EQ(counts, t.counts) << t.what;
        EXPECT_EQ(unmatched, t.unmatched) << t.what;
    }
    EXPECT_EQ(campaign::unmatched_text(1), "попытки 1 записи не найдены в списке");
    EXPECT_EQ(campaign::unmatched_text(2), "попытки 2 записей не найдены в списке");
    EXPECT_EQ(campaign::unmatched_text(5), "попытки 5 записей не найдены в списке");
    EXPECT_EQ(campaign::unmatched_text(11), "попытки 11 записей не найдены в списке");
    EXPECT_EQ(campaign::unmatched_text(21), "попытки 21 записи не найдены в списке");
    EXPECT_EQ(campaign::list_numbers(record(a, "    100") + record(b, "    200", 'Y') + "\r\n" +
                                     record(c, "    300")),
              (std::vector<std::string>{a, b}));
}

// A kill between a verdict's log line and its mark leaves the line last in its log: with the
// attempts, it is the verdict of the record's last counted call when stamped from that call on.
// The PC runs five hours ahead of UTC, and the logs hold no year.
TEST(Attempts, AVerdictLastInItsLogAfterTheLastCallIsFoundForItsRecord) {
    auto seconds = [](const char* local) {
        core::LocalTime t;
        EXPECT_TRUE(core::parse_local_time(local, t)) << local;
        return core::calendar_seconds(t);
    };
    auto line = [](const char* number, const char* stamp, char mark = ' ') {
        core::LocalTime t;
        EXPECT_TRUE(core::parse_local_time(stamp, t)) << stamp;
        return result_log_line(number, t, mark);
    };
    const std::string a = record("3000001", "    100");
    const std::string b = record("3000002", "    200", 'N');
    const std::string y = record("3000003", "    300", 'Y');
    const char* call = "2026-12-08T09:30:00";
    struct Case {
        const char* what;
        std::string list;
        std::string attempts;  // "position number count" of the one entry, called at call
        std::string notified, not_notified;
        const char* call = "2026-12-08T09:30:00";
        const char* now = "2026-12-08T10:00:00";
        std::string found;  // "position:number mark @end"
    } cases[] = {
        {"notified, then killed", a + b, "1 3000001 1", line("3000001", "2026-12-08T09:30:05"), "",
         call, "2026-12-08T10:00:00", "1:3000001Y@20"},
        {"Z in the second of the call", b + a, "2 3000001 1", "",
         line("3000001", "2026-12-08T09:30:00", 'Z'), call, "2026-12-08T10:00:00", "2:3000001Z@40"},
        {"a retried N record notified", a + b, "2 3000002 2",
         line("3000002", "2026-12-08T09:31:00"), line("3000002", "2026-12-08T08:00:00", 'N'), call,
         "2026-12-08T10:00:00", "2:3000002Y@40"},
        {"a line from before the call is an earlier verdict", a, "1 3000001 1", "",
         line("3000001", "2026-12-08T09:29:59", 'N'), call, "2026-12-08T10:00:00", ""},
        {"a number twice in the list", a + a, "1 3000001 1", line("3000001", "2026-12-08T09:31:00"),
         "", call, "2026-12-08T10:00:00", ""},
        {"a record never counted", a + b, "2 3000002 1", line("3000001", "2026-12-08T09:31:00"), "",
         call, "2026-12-08T10:00:00", ""},
        {"marked as its line says", y, "1 3000003 1", line("3000003", "2026-12-08T09:31:00"), "",
         call, "2026-12-08T10:00:00", ""},
        {"a line followed by another is not a kill's", a + b, "1 3000001 1",
         line("3000001", "2026-12-08T09:31:00") + line("3000009", "2026-12-08T09:32:00"), "", call,
         "2026-12-08T10:00:00", ""},
        {"a line of last year's 15th of December", a, "1 3000001 1",
         line("3000001", "2025-12-15T10:00:00"), "", call, "2026-12-08T10:00:00", ""},
        {"over the new year", a, "1 3000001 1", line("3000001", "2027-01-01T00:00:10"), "",
         "2026-12-31T23:59:50", "2027-01-01T00:10:00", "1:3000001Y@20"},
        {"restarted on a clock set back", a, "1 3000001 1", line("3000001", "2026-12-08T09:30:30"),
         "", call, "2026-12-08T09:00:15", "1:3000001Y@20"},
        {"a torn line after it", a, "1 3000001 1",
         line("3000001", "2026-12-08T09:30:30") + "3000001   08-12 09:3", "", call,
         "2026-12-08T10:00:00", "1:3000001Y@20"},
        {"both logs end with the record: its Y is the later", a, "1 3000001 1",
         line("3000001", "2026-12-08T09:30:40"), line("3000001", "2026-12-08T09:30:40", 'N'), call,
         "2026-12-08T10:00:00", "1:3000001Y@20"},
    };
    for (const Case& t : cases) {
        std::string attempts =
            t.attempts + " " + std::to_string(seconds(t.call) - 5 * 3600) + "\r\n";
        std::string list = t.list + "\r\n";
        int unmatched = 0;
        campaign::Attempts matched =
            campaign::Attempts::parse(attempts).matched_to(campaign::list_numbers(list), unmatched);
        core::LocalTime now;
        ASSERT_TRUE(core::parse_local_time(t.now, now));
        std::string found;
        for (const campaign::LoggedVerdict& v : campaign::unmarked_verdicts(
                 list, matched, t.notified, t.not_notified, now, seconds(t.now) - 5 * 3600)) {
            found +=
                std::to_string(v.position) + ":" + v.number + v.mark + "@" + std::to_string(v.end);
        }
        EXPECT_EQ(found, t.found) << t.what;
    }
}

// RINGY.txt and RINGN.txt hold the list's numbers: made beside a 0600 list, they are 0600.
TEST(ResultLog, ANewLogTakesTheModeItIsGiven) {
    TempRoot root;
    core::LocalTime t;
    std::string y = result_log_line("2345678", t, ' ');
    EXPECT_EQ(append_result_line(root.path / "RINGY.txt", y, 0600), "");
    EXPECT_EQ(append_result_line(root.path / "RINGY.txt", y, 0600), "");
    EXPECT_EQ(core::file_mode(root.path / "RINGY.txt") & 0777, 0600u);
    EXPECT_EQ(root.read("RINGY.txt"), y + y);
}
