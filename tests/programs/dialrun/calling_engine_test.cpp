#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "campaign/calling_window.h"
#include "campaign/result_log.h"
#include "dialrun/calling_engine.h"
#include "dialrun/dialrun_controller.h"
#include "files/durable_file.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"

using namespace core;
using namespace station;
using namespace dialrun;
using namespace campaign;
using namespace std::chrono_literals;

namespace {

// Dialrun on a rack, with its own drive C holding list.
struct Campaign {
    Campaign(const std::string& rack, const std::string& list,
             const char* start = "2026-12-08T10:00:00")
        : p(rack, Setting{"", root.path.string(), at(start)}) {
        root.write("Ring.TXT", list);
        p.start_and_survey();
    }
    std::optional<std::string> press(Button b) { return p.press(b); }
    // Starts calling and waits for the end of the run.
    void run() {
        EXPECT_EQ(press(Button::start), std::nullopt);
        EXPECT_TRUE(p.controller->wait_idle(20s));
    }
    const DialrunForm& form() const { return p.controller->dialrun_form(); }
    std::vector<std::string> log_lines(const char* name) const {
        std::string text = root.read(name);
        std::vector<std::string> lines;
        for (size_t i = 0; i + 70 <= text.size(); i += 70) {
            lines.push_back(text.substr(i, 70));
        }
        return lines;
    }

    TempRoot root;
    ProgramOnRack<DialrunController> p;
};

std::string list_of(int count, int first = 2000000) {
    return ::list_of(count, first, [](int i) { return 1000 + 37 * i; });
}

}  // namespace

TEST(CallingEngine, PacksTheAmountAndTheNumberAsTheBoardsExpect) {
    std::string r = record("2345678", "  12500");
    EXPECT_EQ(number_payload(r),
              (std::array<uint8_t, 8>{0x20, 0x01, 0x25, 0x00, 0xF2, 0x34, 0x56, 0x78}));
    Campaign c("K1 ring line busy=0\n", r + "\r\n");
    c.run();
    ASSERT_EQ(c.p.rack->board(0)->numbers().size(), 1u);
    EXPECT_EQ(c.p.rack->board(0)->numbers()[0], number_payload(r));
    EXPECT_EQ(c.p.rack->board(0)->wait_value(), 20);
}

TEST(CallingEngine, ACampaignMarksLogsAndShowsEveryResultOnce) {
    std::string list = record("1000001", "   1500", 'Y') + record("1000002", "   2500", 'N') +
                       list_of(14, 3000000);
    Campaign c(
        "K1 ring line busy=1 results=1,2,0\nK2 ring line busy=3 results=3,1\n"
        "K3 informer line\nK4 ring noline\nK5 ring line busy=0 results=1\n",
        list);
    c.p.ui([](auto& ctl) { return ctl.program_command("set-wait", "33"); });
    c.run();
    std::string after = c.root.read("Ring.TXT");
    ASSERT_EQ(after.size(), list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        if (i % 20 != MARK_COLUMN) {
            ASSERT_EQ(after[i], list[i]) << "byte " << i << " is not a mark";
        }
    }
    // Every fresh record went to exactly one board, in list order per board, and its mark
    // is that board's verdict in turn.
    std::map<std::string, char> marks;
    for (size_t i = 0; i + 20 <= after.size(); i += 20) {
        marks[after.substr(i, 7)] = after[i + MARK_COLUMN];
    }
    std::map<std::string, int> handed;
    int notified = 0, not_notified = 0;
    std::vector<std::string> expected_y, expected_n;
    for (int k : {0, 1, 4}) {
        const sim::Board& b = *c.p.rack->board(k);
        EXPECT_EQ(b.wait_value(), 33);
        std::vector<std::string> numbers = numbers_handed(b);
        for (size_t i = 0; i < numbers.size(); ++i) {
            ++handed[numbers[i]];
            uint8_t reply = b.setup().results[std::min(i, b.setup().results.size() - 1)];
            EXPECT_EQ(marks[numbers[i]], mark_for_reply(reply)) << numbers[i];
            (reply == 1 ? notified : not_notified)++;
        }
        // One number outstanding at a time: a result is fetched before the next number.
        int outstanding = 0;
        for (size_t i = 0; i < b.received().size(); ++i) {
            if (b.received()[i] == CMD_NUMBER && i > 0 && b.received()[i - 1] <= 7) {
                EXPECT_EQ(++outstanding, 1);
            }
            if (b.received()[i] == CMD_RESULT) {
                --outstanding;
            }
        }
    }
    EXPECT_TRUE(c.p.rack->board(3)->numbers().empty()) << "no line, no calls";
    EXPECT_EQ(handed.size(), 14u);
    for (const auto& [number, times] : handed) {
        EXPECT_EQ(times, 1) << number;
    }
    EXPECT_EQ(c.log_lines("RINGY.txt").size(), static_cast<size_t>(notified));
    EXPECT_EQ(c.log_lines("RINGN.txt").size(), static_cast<size_t>(not_notified));
    for (const std::string& line : c.log_lines("RINGN.txt")) {
        EXPECT_EQ(line[25], marks[line.substr(0, 7)]);
        EXPECT_EQ(line.substr(10, 6), "08-12 ");
        EXPECT_EQ(line.substr(68), "\r\n");
    }
    const DialrunForm& f = c.form();
    EXPECT_EQ(f.list_total, 16u);
    EXPECT_EQ(f.record_list.size(), 16u);
    EXPECT_EQ(f.record_list.at(0), "1000001  Y");
    EXPECT_EQ(f.notified_total, 1u + notified);
    EXPECT_EQ(f.not_notified_total, 1u + not_notified);
    EXPECT_EQ(f.notified_list.size(), f.notified_total);
    EXPECT_EQ(f.record_total, 16u);
    EXPECT_EQ(f.progress, 100);
    EXPECT_EQ(f.start_stamp, " 08-12  10:00");
    EXPECT_EQ(f.status_text, " Завершение прозвонки абонентов ! ");
    EXPECT_EQ(f.mode_text[0].substr(0, 7), "Stop ! ");
    EXPECT_EQ(c.p.log().back(), "Останов прозвонки");
    EXPECT_EQ(c.p.controller->state().link_state, LINK_WORK_ENDED);
    EXPECT_EQ(c.press(Button::start), "Запрет старта ! ");
    EXPECT_EQ(c.press(Button::stop), "Запрет Останова ! ");
    for (int k = 0; k < 5; ++k) {
        EXPECT_TRUE(c.p.rack->board(k)->anomalies().empty()) << "K" << k + 1;
    }
}

TEST(CallingEngine, AtTheStopHourEachChannelStopsWithoutCalling) {
    Campaign c("K1 ring line\nK3 ring line\n", list_of(5), "2026-12-08T22:30:00");
    c.run();
    EXPECT_TRUE(c.p.rack->board(0)->numbers().empty());
    EXPECT_TRUE(c.p.rack->board(2)->numbers().empty());
    EXPECT_EQ(c.root.read("Ring.TXT"), list_of(5)) << "no record is marked";
    EXPECT_EQ(c.p.log().back(), "Останов прозвонки");
    const std::vector<uint8_t>& k3 = c.p.rack->board(2)->received();
    EXPECT_EQ(std::vector<uint8_t>(k3.end() - 3, k3.end()),
              (std::vector<uint8_t>{0x02, 0xFE, 0xFF}));
}

TEST(CallingEngine, AStopLetsCallsInProgressFinishThenStopsEachChannel) {
    Campaign c("K1 ring line busy=6\nK2 ring line busy=6\nK3 ring line busy=6 results=2\n",
               list_of(10));
    // Stop at the moment all three boards have a number out.
    c.p.front_end.on_form_changed = [&] {
        if (c.form().list_total == 3 && c.form().stop_stamp.empty()) {
            EXPECT_EQ(c.p.controller->press(Button::stop), std::nullopt);
            EXPECT_EQ(c.form().status_text, "Ожидание завершения прозвонки ");
        }
    };
    c.run();
    c.p.front_end.on_form_changed = nullptr;
    EXPECT_EQ(c.form().stop_stamp, " 08-12  10:00");
    for (int k = 0; k < 3; ++k) {
        const std::vector<uint8_t>& r = c.p.rack->board(k)->received();
        ASSERT_GE(r.size(), 6u);
        // ... result fetched and released, then at the next free poll stopped and released.
        EXPECT_EQ(std::vector<uint8_t>(r.end() - 6, r.end()),
                  (std::vector<uint8_t>{uint8_t(k), CMD_RESULT, CMD_END, uint8_t(k), CMD_STOP_MODE,
                                        CMD_END}));
        EXPECT_EQ(c.p.rack->board(k)->numbers().size(), 1u);
    }
    std::string marks;
    std::string after = c.root.read("Ring.TXT");
    for (size_t i = MARK_COLUMN; i < 200; i += 20) {
        marks += after[i];
    }
    EXPECT_EQ(marks, "YYZ       ");
    EXPECT_EQ(c.form().status_text, " Завершение прозвонки абонентов ! ");
}

TEST(CallingEngine, AListThatBeginsWithAnEmptyLineStopsEveryChannelAtOnce) {
    Campaign c("K1 ring line\nK2 ring line\n", "\r\n" + list_of(3));
    c.run();
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(c.form().mode_text[k], "Stop !           0           0");
        const std::vector<uint8_t>& r = c.p.rack->board(k)->received();
        EXPECT_EQ(std::vector<uint8_t>(r.end() - 2, r.end()),
                  (std::vector<uint8_t>{CMD_STOP_MODE, CMD_END}));
    }
    EXPECT_EQ(c.form().record_list.size(), 0u);
    EXPECT_EQ(c.p.log().back(), "Останов прозвонки");

    // A list shorter than one record: nothing to divide the progress by.
    Campaign empty("K1 ring line\n", "\r\n");
    empty.run();
    EXPECT_EQ(empty.form().record_total, 0u);
    EXPECT_EQ(empty.form().progress, 100);
}

TEST(CallingEngine, EachPollWaitsTenMillisecondsBeforeItsSelectAndFourForTheReply) {
    std::string trace = temp_path("calling_trace.txt");
    {
        TempRoot root;
        root.write("Ring.TXT", record("1000001", "    100") + "\r\n");
        ProgramOnRack<DialrunController> p("K1 ring line busy=3 results=1\n",
                                           Setting{trace, root.path.string()});
        p.start_and_survey();
        ASSERT_EQ(p.press(Button::start), std::nullopt);
        ASSERT_TRUE(p.controller->wait_idle(20s));
    }
    std::vector<std::pair<double, std::string>> events = trace_events(trace);
    std::remove(trace.c_str());
    // A busy board's poll is its select and the reply 0x28; the next poll follows. The free
    // poll that finds the call ended asks for the result 3 ms after the reply.
    int busy_polls = 0;
    int results = 0;
    for (size_t i = 1; i + 1 < events.size(); ++i) {
        if (events[i].second == "< 28") {
            ++busy_polls;
            EXPECT_EQ(events[i - 1].second, "> 00");
            EXPECT_NEAR(events[i].first - events[i - 1].first, 0.004, 0.0001);
            EXPECT_EQ(events[i + 1].second, "> 00");
            EXPECT_NEAR(events[i + 1].first - events[i].first, 0.010, 0.0001);
        } else if (events[i].second == "> 56") {
            ++results;
            EXPECT_NEAR(events[i].first - events[i - 1].first, 0.003, 0.0001);
        }
    }
    EXPECT_EQ(busy_polls, 3);
    EXPECT_EQ(results, 1);
}

TEST(CallingEngine, NothingAfterTheEndMarkerIsListedCountedOrCalled) {
    const std::string rack =
        "K1 ring line busy=1 results=1\nK2 ring line busy=2 results=2\nK3 ring line\n";
    std::string old_records;
    for (int i = 0; i < 5; ++i) {
        old_records += record(std::to_string(4000000 + i), "   1000", 'Y');
    }
    struct Case {
        std::string list;
        unsigned record_total;
    } cases[] = {
        {record("1000001", "   1500") + record("1000002", "   2500") + "\r\n" + old_records, 7},
        // Short lines after the marker once put a NUL into "Список".
        {record("1000001", "   1500") + record("1000002", "   2500") + "\r\n\r\n\n\n", 2},
    };
    for (const Case& t : cases) {
        Campaign c(rack, t.list);
        c.run();
        const DialrunForm& f = c.form();
        EXPECT_EQ(f.list_total, 2u);
        EXPECT_EQ(f.notified_total, 1u);
        EXPECT_EQ(f.not_notified_total, 1u);
        EXPECT_EQ(f.record_total, t.record_total);
        ASSERT_EQ(f.record_list.size(), 2u);
        EXPECT_EQ(f.record_list.at(0), "1000001   ");
        EXPECT_EQ(f.record_list.at(1), "1000002   ");
        EXPECT_EQ(f.notified_list.size(), 1u);
        EXPECT_EQ(f.not_notified_list.size(), 1u);
        EXPECT_EQ(c.root.read("Ring.TXT").substr(42), t.list.substr(42));
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(c.p.rack->board(k)->anomalies().empty()) << "K" << k + 1;
        }
    }
}

TEST(CallingEngine, RecordsDoneEarlierAreListedAndCountedButNeverCalled) {
    Campaign c("K1 ring line busy=0 results=0\n",
               record("1111111", "   1000", 'Y') + record("2222222", "   1000", 'Y') +
                   record("3333333", "   1000", 'N') + record("4444444", "   1000") +
                   record("5555555", "   1000") + "\r\n");
    std::optional<std::array<size_t, 3>> first_poll;
    c.p.front_end.on_form_changed = [&] {
        if (!first_poll && c.form().record_list.size() == 4) {
            first_poll = {c.form().record_list.size(), c.form().notified_list.size(),
                          c.form().not_notified_list.size()};
        }
    };
    c.run();
    c.p.front_end.on_form_changed = nullptr;
    ASSERT_TRUE(first_poll);
    EXPECT_EQ(*first_poll, (std::array<size_t, 3>{4, 2, 1}));
    EXPECT_EQ(numbers_handed(*c.p.rack->board(0)),
              (std::vector<std::string>{"4444444", "5555555"}));
    EXPECT_EQ(c.form().list_total, 5u);
    EXPECT_EQ(c.form().record_list.at(3), "4444444   ");
    EXPECT_EQ(c.form().notified_total, 2u);
    EXPECT_EQ(c.form().not_notified_total, 3u);
}

TEST(CallingEngine, ABusyBoardIsSkippedAndItsResultFetchedFirst) {
    Campaign c("K1 ring line busy=3\n", list_of(1));
    c.run();
    const std::vector<uint8_t>& r = c.p.rack->board(0)->received();
    auto number = std::find(r.begin(), r.end(), CMD_NUMBER);
    ASSERT_NE(number, r.end());
    std::vector<uint8_t> after_payload(number + 9, r.end());
    EXPECT_EQ(after_payload, (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x00, CMD_RESULT, CMD_END,
                                                   0x00, CMD_STOP_MODE, CMD_END}));
}

TEST(CallingEngine, EveryMissingReplyEndsTheRunWithItsStepsText) {
    // One board, one record, no busy polls: the bytes it answers, in order, and the text
    // when the next one gets no reply.
    const char* texts[] = {"Тайм-Аут0", "Тайм-Аут00", "Тайм-Аут00", "Тайм-Аут00", "Тайм-Аут000",
                           "Тайм-Аут1", "Тайм-Аут5",  "Тайм-Аут6",  "Тайм-Аут7",  "Тайм-Аут8",
                           "Тайм-Аут9", "Тайм-Аут10", "Тайм-Аут11", "Тайм-Аут12", "Тайм-Аут13",
                           "Тайм-Аут1", "Тайм-Аут2",  "Тайм-Аут22", "Тайм-Аут1",  "Тайм-Аут3",
                           "Тайм-Аут4"};
    // The survey takes the board's first four bytes.
    for (int answered = 0; answered < 21; ++answered) {
        Campaign c("K2 ring line busy=0 silent-after=" + std::to_string(4 + answered) + "\n",
                   list_of(1));
        c.run();
        std::vector<std::string> log = c.p.log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], texts[answered]) << "answered " << answered;
        EXPECT_EQ(log.back(), "Останов прозвонки");
        EXPECT_EQ(c.p.controller->state().link_state, LINK_WORK_ENDED);
        EXPECT_EQ(c.form().status_text, " Завершение прозвонки абонентов ! ") << answered;
        // The board in question gets nothing after the byte it left unanswered.
        EXPECT_EQ(c.p.received(1).size(), static_cast<size_t>(4 + answered + 1)) << answered;
        // The mark and the log line exist only once the verdict itself has arrived.
        bool verdict = answered >= 17;
        EXPECT_EQ(c.root.read("Ring.TXT")[MARK_COLUMN], verdict ? 'Y' : ' ') << answered;
        EXPECT_EQ(c.log_lines("RINGY.txt").size(), verdict ? 1u : 0u) << answered;
    }
}

namespace {

// Replaces the reply to the n-th select of one address and puts stray bytes after it.
class WrongEchoTransport : public Transport {
  public:
    WrongEchoTransport(Transport& inner, uint8_t address, int n, uint8_t echo,
                       std::vector<uint8_t> strays)
        : inner_(inner), address_(address), n_(n), echo_(echo), strays_(std::move(strays)) {}
    std::string name() const override { return inner_.name(); }
    std::string write_byte(uint8_t value) override {
        if (value == address_ && ++selects_ == n_) {
            armed_ = true;
        }
        return inner_.write_byte(value);
    }
    ReadResult read_byte(Duration deadline) override {
        if (armed_) {
            armed_ = false;
            ReadResult r = inner_.read_byte(deadline);
            r.value = echo_;
            stray_next_ = true;
            return r;
        }
        if (stray_next_) {
            if (!strays_.empty()) {
                uint8_t b = strays_.front();
                strays_.erase(strays_.begin());
                return ReadResult::byte(b);
            }
            stray_next_ = false;
        }
        return inner_.read_byte(deadline);
    }
    std::vector<uint8_t> discard_input() override { return inner_.discard_input(); }

  private:
    Transport& inner_;
    uint8_t address_;
    int n_;
    uint8_t echo_;
    std::vector<uint8_t> strays_;
    int selects_ = 0;
    bool armed_ = false;
    bool stray_next_ = false;
};

}  // namespace

TEST(CallingEngine, AWrongEchoInAPassIsLoggedWithTheStrayBytesAfterIt) {
    struct Case {
        std::vector<uint8_t> strays;
        std::vector<std::string> tail;
    } cases[] = {
        {{}, {"OGD=35", "Ошибка Адреса", "ТA Err1", "Останов прозвонки"}},
        {{0x41}, {"OGD=35", "Ошибка Адреса", "OGD1=65", "ТA Err2", "Останов прозвонки"}},
        {{0x41, 0x07}, {"OGD=35", "Ошибка Адреса", "OGD1=65", "OGD2=7", "Останов прозвонки"}},
    };
    for (const Case& k : cases) {
        TempRoot root;
        root.write("Ring.TXT", list_of(3));
        ProgramOnRack<DialrunController> p(
            "K1 ring line busy=0\n", Setting{"", root.path.string(), at("2026-12-08T10:00:00")});
        // The third select of K1: survey, start phase, then the first poll.
        p.interpose<WrongEchoTransport>(0x00, 3, 0x23, k.strays);
        p.start_and_survey();
        EXPECT_EQ(p.press(Button::start), std::nullopt);
        ASSERT_TRUE(p.controller->wait_idle(10s));
        std::vector<std::string> log = p.log();
        std::vector<std::string> tail(log.end() - static_cast<long>(k.tail.size()), log.end());
        EXPECT_EQ(tail, k.tail);
        EXPECT_EQ(root.read("Ring.TXT"), list_of(3));
    }
}

TEST(CallingEngine, StartIsRefusedWithoutChannelListOrAWellFormedList) {
    Campaign no_ring("K1 informer line\nK2 ring noline\n", list_of(2));
    EXPECT_EQ(no_ring.press(Button::start), "Нет канала прозвонки !");
    EXPECT_EQ(no_ring.p.controller->state().link_state, LINK_FREE);
    EXPECT_EQ(no_ring.press(Button::stop), "Запрет Останова ! ");

    Campaign missing("K1 ring line\n", "");
    std::filesystem::remove(missing.root.path / "Ring.TXT");
    EXPECT_EQ(missing.press(Button::start), "Нет файла RING.TXT !");
    EXPECT_EQ(missing.p.log().back(), "Ошибка открытия C:\\Ring.TXT: нет такого файла или папки");

    Campaign locked("K1 ring line\n", list_of(2));
    SubscriberList other_program;
    std::string error;
    ASSERT_TRUE(other_program.open(locked.root.path / "Ring.TXT", error));
    EXPECT_EQ(locked.press(Button::start), "Нет файла RING.TXT !");
    EXPECT_EQ(locked.p.log().back(),
              std::string("Ошибка открытия C:\\Ring.TXT: ") + core::FILE_BUSY);
    other_program.close();

    std::string malformed = list_of(2).substr(0, 40) + "12A4567     1000  \r\n\r\n";
    Campaign bad("K1 ring line\n", malformed);
    EXPECT_EQ(bad.press(Button::start),
              "Ошибка в RING.TXT, строка 3: в номере (позиции 1-7) не цифра в позиции 3");
    EXPECT_EQ(bad.root.read("Ring.TXT"), malformed);
    EXPECT_EQ(bad.p.controller->state().link_state, LINK_FREE);
    EXPECT_TRUE(bad.p.rack->board(0)->numbers().empty());
    // Put right, the same program starts.
    bad.root.write("Ring.TXT", list_of(2));
    bad.run();
    EXPECT_EQ(bad.p.rack->board(0)->numbers().size(), 2u);

    // Settings that could never act are refused as they are taken, before any "Старт": days
    // or holidays without a window, a window the hours alone make empty.
    Campaign unused("K1 ring line\n", list_of(2));
    unused.root.write("holidays.txt", "01.01\n");
    const std::string holidays = (unused.root.path / "holidays.txt").string();
    const std::string need =
        " без call-start не действует: нужен call-start, час начала окна "
        "прозвонки";
    struct Refused {
        std::map<std::string, std::string> settings;
        std::string error;
    } refused[] = {
        {{{"call-days", "1-5"}}, "call-days" + need},
        {{{"call-start", "0"}, {"call-days", "1-7"}, {"holidays", holidays}}, "holidays" + need},
        {{{"call-days", "6,7"}, {"holidays", holidays}},
         "call-days и holidays без call-start не действуют: нужен call-start, час начала окна "
         "прозвонки"},
        {{{"call-start", "22"}},
         "Пустое окно прозвонки: час \"Стоп\" 22 не позже начала 22 (call-start)"},
        {{{"call-start", "9"}, {"stop-hour", "8"}},
         "Пустое окно прозвонки: час \"Стоп\" 8 не позже начала 9 (call-start)"},
        // As the defaults fill them in: every day, no holidays, no window.
        {{{"call-start", "0"}, {"call-days", "1-7"}, {"holidays", ""}, {"stop-hour", "22"}}, ""},
        {{{"call-start", "9"}, {"call-days", "1-5"}, {"holidays", holidays}, {"stop-hour", "10"}},
         ""},
    };
    for (const Refused& r : refused) {
        EXPECT_EQ(unused.p.ui([&](auto& c) { return c.take_settings(r.settings); }), r.error)
            << r.settings.begin()->first;
    }

    // A calling window that can never open, named; the list is let go for a later start.
    Campaign empty("K1 ring line\n", list_of(2));
    EXPECT_EQ(empty.p.ui([](auto& c) { return c.take_settings({{"call-start", "21"}}); }), "");
    empty.p.ui([](auto& c) { return c.program_command("set-stop", "21"); });
    EXPECT_EQ(empty.press(Button::start),
              "Пустое окно прозвонки: час \"Стоп\" 21 не позже начала 21 (call-start)");
    EXPECT_EQ(empty.p.controller->state().link_state, LINK_FREE);
    ASSERT_TRUE(other_program.open(empty.root.path / "Ring.TXT", error)) << error;
    other_program.close();
}

TEST(CallingEngine, ALogThatCannotBeWrittenIsReportedAndTheMarkStillWritten) {
    Campaign c("K1 ring line busy=0\n", list_of(2));
    std::filesystem::create_directories(c.root.path / "RINGY.txt");  // cannot be appended to
    c.run();
    std::vector<std::string> log = c.p.log();
    EXPECT_EQ(
        std::count(log.begin(), log.end(), "Ошибка записи в C:\\RINGY.txt: это папка, а не файл"),
        2);
    std::string after = c.root.read("Ring.TXT");
    EXPECT_EQ(after[MARK_COLUMN], 'Y');
    EXPECT_EQ(after[20 + MARK_COLUMN], 'Y');
    EXPECT_EQ(c.form().notified_total, 2u);
}

TEST(CallingEngine, AReadOnlyFolderRefusesTheStartAndSaysWhy) {
    Campaign c("K1 ring line busy=0\n", list_of(2));
    std::string before = c.root.read("Ring.TXT");
    ReadOnly folder(c.root.path);
    if (!folder.made) {
        GTEST_SKIP() << "cannot make a read-only mount here (needs root)";
    }
    EXPECT_EQ(c.press(Button::start), "Нет файла RING.TXT !");
    EXPECT_EQ(c.p.log().back(), "Ошибка открытия C:\\Ring.TXT: только для чтения");
    EXPECT_EQ(c.p.controller->state().link_state, LINK_FREE);
    EXPECT_TRUE(c.p.rack->board(0)->numbers().empty());
    EXPECT_EQ(c.root.read("Ring.TXT"), before);
}

TEST(CallingEngine, AReadOnlyLogIsReportedAtEachResultAndTheMarksStillWritten) {
    Campaign c("K1 ring line busy=0\n", list_of(3));
    c.root.write("RINGY.txt", "");
    ReadOnly log_file(c.root.path / "RINGY.txt");
    if (!log_file.made) {
        GTEST_SKIP() << "cannot make a read-only mount here (needs root)";
    }
    c.run();
    std::vector<std::string> log = c.p.log();
    EXPECT_EQ(
        std::count(log.begin(), log.end(), "Ошибка записи в C:\\RINGY.txt: только для чтения"), 3);
    std::string after = c.root.read("Ring.TXT");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(after[i * 20 + MARK_COLUMN], 'Y') << i;
    }
    EXPECT_EQ(c.form().notified_total, 3u);
    EXPECT_EQ(c.root.read("RINGY.txt"), "");
}

TEST(CallingEngine, AFullDiskIsReportedAndTheMarksStillWritten) {
    TempRoot place;
    std::filesystem::path disk = place.path / "disk";
    std::filesystem::create_directories(disk);
    Mounted small(disk, "-t tmpfs -o size=64k tmpfs");
    if (!small.mounted) {
        GTEST_SKIP() << "cannot mount a small filesystem here (needs root)";
    }
    std::ofstream(disk / "Ring.TXT", std::ios::binary) << list_of(5);
    {
        std::ofstream filler(disk / "filler", std::ios::binary);
        std::string block(4096, 'x');
        while (filler.write(block.data(), block.size())) {
        }
    }
    {
        ProgramOnRack<DialrunController> p("K1 ring line busy=0\n",
                                           Setting{"", disk.string(), at("2026-12-08T10:00:00")});
        p.start_and_survey();
        EXPECT_EQ(p.press(Button::start), std::nullopt);
        ASSERT_TRUE(p.controller->wait_idle(10s));
        std::vector<std::string> log = p.log();
        EXPECT_EQ(
            std::count(log.begin(), log.end(), "Ошибка записи в C:\\RINGY.txt: нет места на диске"),
            5);
        std::ifstream in(disk / "Ring.TXT", std::ios::binary);
        std::stringstream list;
        list << in.rdbuf();
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(list.str()[i * 20 + MARK_COLUMN], 'Y') << i;
        }
    }
}

TEST(CallingWindow, HandsOutOnlyOnItsDaysAndHoursAndNamesAnEmptyOne) {
    campaign::CallingWindow w;
    w.enabled = true;
    w.start_hour = 9;
    w.stop_hour = 22;
    ASSERT_EQ(campaign::parse_call_days("1-5", w.days), "");
    ASSERT_EQ(campaign::parse_holidays("# public\n2026-12-14\n\n01.01  # new year\n", "h", w), "");
    struct Case {
        const char* now;
        const char* next;  // the same when a record may be handed out now
    } cases[] = {
        {"2026-12-11T21:50:00", "2026-12-11T21:50:00"},  // a Friday evening
        {"2026-12-11T21:58:00", "2026-12-15T09:00:00"},  // its last minutes; Monday a holiday
        {"2026-12-12T10:00:00", "2026-12-15T09:00:00"},  // Saturday
        {"2026-12-15T08:59:59", "2026-12-15T09:00:00"},
        {"2026-12-15T09:00:00", "2026-12-15T09:00:00"},
        {"2026-12-31T22:00:00", "2027-01-04T09:00:00"},  // New Year's Day a Friday
    };
    for (const Case& c : cases) {
        EXPECT_EQ(calendar_seconds(campaign::next_opening(w, at(c.now))),
                  calendar_seconds(at(c.next)))
            << c.now;
    }
    std::array<bool, 8> days{};
    for (const char* wrong : {"0-5", "5-1", "", "1,8", "weekdays"}) {
        EXPECT_NE(campaign::parse_call_days(wrong, days), "") << wrong;
    }
    // Dates no calendar has; a leap day is a holiday in the years that have it.
    struct Holidays {
        const char* text;
        const char* error;
    } holidays[] = {
        {"2026-12-14\n31.13\n", "h.txt, строка 2: нужна дата ГГГГ-ММ-ДД или ДД.ММ, а не '31.13'"},
        {"31.02\n", "h.txt, строка 1: нужна дата ГГГГ-ММ-ДД или ДД.ММ, а не '31.02'"},
        {"31.04\n", "h.txt, строка 1: нужна дата ГГГГ-ММ-ДД или ДД.ММ, а не '31.04'"},
        {"2026-02-29\n", "h.txt, строка 1: нужна дата ГГГГ-ММ-ДД или ДД.ММ, а не '2026-02-29'"},
        {"29.02\n2028-02-29\n31.12\n", ""},
    };
    for (const Holidays& h : holidays) {
        campaign::CallingWindow read;
        EXPECT_EQ(campaign::parse_holidays(h.text, "h.txt", read), h.error) << h.text;
    }
    // An editor on Windows starts the file with a byte-order mark: the first date still counts.
    campaign::CallingWindow marked = w;
    marked.once.clear();
    ASSERT_EQ(campaign::parse_holidays("\xEF\xBB\xBF"
                                       "2026-12-15\r\n",
                                       "h.txt", marked),
              "");
    EXPECT_EQ(calendar_seconds(campaign::next_opening(marked, at("2026-12-14T23:00:00"))),
              calendar_seconds(at("2026-12-16T09:00:00")));
    w.stop_hour = 9;
    EXPECT_EQ(campaign::empty_window_reason(w),
              "Пустое окно прозвонки: час \"Стоп\" 9 не позже начала 9 (call-start)");
}

// Started on a Friday at 21:50 with a window 9-22 on weekdays and Monday a holiday: calls
// until 21:58, then a pause with nothing on the link, and on Tuesday at 9:00 the boards are
// started again and the list is finished, without a press.
TEST(CallingEngine, AWindowPausesOverTheWeekendAndAHolidayAndGoesOnByItself) {
    TempRoot root;
    root.write("Ring.TXT", list_of(40));
    root.write("holidays.txt", "2026-12-14\n");
    std::string trace = (root.path / "trace.txt").string();
    ProgramOnRack<DialrunController> p(
        "K1 ring line busy=3000 results=1,2\nK2 ring line busy=3000\n",
        Setting{trace, root.path.string(), at("2026-12-11T21:50:00")});
    std::vector<std::string> log;
    p.controller->state().log.set_listener(
        {[&](const std::string& line, bool) { log.push_back(line); }, {}});
    p.start_and_survey();
    EXPECT_EQ(p.ui([&](auto& c) {
        return c.take_settings({{"call-start", "9"},
                                {"call-days", "1-5"},
                                {"holidays", (root.path / "holidays.txt").string()}});
    }),
              "");
    EXPECT_EQ(p.press(Button::start), std::nullopt);
    ASSERT_TRUE(p.controller->wait_idle(60s));
    EXPECT_EQ(std::count(log.begin(), log.end(), "Пауза до 09:00 15-12"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Конец паузы"), 1);
    std::string results = root.read("RINGY.txt") + root.read("RINGN.txt");
    ASSERT_EQ(results.size(), 40u * 70);
    for (size_t i = 0; i < results.size(); i += 70) {
        std::string day = results.substr(i + 10, 5);
        int hour = std::atoi(results.substr(i + 16, 2).c_str());
        EXPECT_TRUE((day == "11-12" && hour == 21) || (day == "15-12" && hour >= 9 && hour < 22))
            << results.substr(i, 30);
    }
    // Nothing on the link from the close at 22:00 (the calls placed by 21:58 finish before)
    // until Tuesday 9:00.
    std::istringstream lines(file_bytes(trace));
    for (std::string line; std::getline(lines, line);) {
        double at_second = std::atof(line.c_str());
        ASSERT_FALSE(at_second > 10 * 60 && at_second < (3 * 24 + 11) * 3600 + 10 * 60) << line;
    }
    EXPECT_EQ(p.controller->dialrun_form().status_text, " Завершение прозвонки абонентов ! ");

    // "Стоп" in a pause acts at once: with the clock held in the pause, the run still ends.
    TempRoot late;
    late.write("Ring.TXT", list_of(4));
    ProgramOnRack<DialrunController> q("K1 ring line\n",
                                       Setting{"", late.path.string(), at("2026-12-11T21:59:00")});
    q.start_and_survey();
    EXPECT_EQ(q.ui([&](auto& c) { return c.take_settings({{"call-start", "9"}}); }), "");
    core::Duration held = q.clock.now() + 1h;
    q.clock.hold_at(held);
    EXPECT_EQ(q.press(Button::start), std::nullopt);
    ASSERT_TRUE(q.clock.wait_reached(held, 10s));
    EXPECT_EQ(q.press(Button::stop), std::nullopt);
    ASSERT_TRUE(q.controller->wait_idle(120s));
    EXPECT_EQ(q.clock.now(), held);
    EXPECT_EQ(q.log().back(), "Останов прозвонки");
}

// retry 3 every 120 minutes, every call "Z": two fresh records called at 10:00, 12:00 and
// 14:00; a record marked Z before attempts were kept counts that call; a record whose count
// was written but whose verdict was lost is called while attempts are left, one whose
// attempts are used up never; an entry for another number at that position is not its.
TEST(CallingEngine, RetryRoundsKeepTheGapAndTheCapAndShowEachRecordOnce) {
    TempRoot root;
    const std::string list = record("2000001", "    100") + record("2000002", "    200") +
                             record("2000003", "    300", 'Z') + record("2000004", "    400", 'Y') +
                             record("2000005", "    500") + record("2000006", "    600") +
                             record("2000007", "    700");
    root.write("Ring.TXT", list);
    // 1786183200: 2026-08-08T08:00:00 UTC, before this run.
    root.write("Ring.TXT.attempts",
               "5 2000005 3 1786183200\r\n6 2000006 1 1786183200\r\n7 9999999 3 1786183200\r\n");
    std::string now;
    {
        ProgramOnRack<DialrunController> p(
            "K1 ring line busy=2 results=2\n",
            Setting{"", root.path.string(), at("2026-12-08T10:00:00")});
        std::vector<std::string> log;
        p.controller->state().log.set_listener(
            {[&](const std::string& line, bool) { log.push_back(line); }, {}});
        p.start_and_survey();
        EXPECT_EQ(p.ui([&](auto& c) {
            return c.take_settings({{"retry", "3"}, {"retry-gap", "120"}});
        }),
                  "");
        EXPECT_EQ(p.press(Button::start), std::nullopt);
        ASSERT_TRUE(p.controller->wait_idle(60s));

        std::map<std::string, std::vector<std::string>> calls;  // number: "dd-mm hh:mm" of each
        std::string results = root.read("RINGN.txt");
        for (size_t i = 0; i + 70 <= results.size(); i += 70) {
            calls[results.substr(i, 7)].push_back(results.substr(i + 10, 11));
        }
        EXPECT_EQ(root.read("RINGY.txt"), "");
        std::map<std::string, std::vector<std::string>> expected{
            {"2000001", {"08-12 10:00", "08-12 12:00", "08-12 14:00"}},
            {"2000002", {"08-12 10:00", "08-12 12:00", "08-12 14:00"}},
            {"2000003", {"08-12 10:00", "08-12 12:00"}},
            {"2000006", {"08-12 10:00", "08-12 12:00"}},
            {"2000007", {"08-12 10:00", "08-12 12:00", "08-12 14:00"}}};
        EXPECT_EQ(calls, expected);
        // Marks: Z where a verdict came, the used-up record left unmarked.
        now = root.read("Ring.TXT");
        EXPECT_EQ(now.substr(0, 20 * 4),
                  record("2000001", "    100", 'Z') + record("2000002", "    200", 'Z') +
                      record("2000003", "    300", 'Z') + record("2000004", "    400", 'Y'));
        EXPECT_EQ(now.substr(20 * 4, 20), record("2000005", "    500"));
        EXPECT_EQ(std::count(log.begin(), log.end(), "Пауза до 12:00 08-12"), 1);
        EXPECT_EQ(std::count(log.begin(), log.end(), "Пауза до 14:00 08-12"), 1);

        const DialrunForm& form = p.controller->dialrun_form();
        EXPECT_EQ(form.record_list.size(), 7u);
        EXPECT_EQ(form.notified_list.size(), 1u);
        EXPECT_EQ(form.not_notified_list.size(), 5u);
        EXPECT_EQ(form.notified_total, 1u);
        EXPECT_EQ(form.not_notified_total, 5u);
        EXPECT_EQ(form.status_text, " Завершение прозвонки абонентов ! ");
    }

    // Started again the next day, it finds every attempt used up and calls nobody.
    ProgramOnRack<DialrunController> again(
        "K1 ring line busy=2 results=2\n",
        Setting{"", root.path.string(), at("2026-12-09T10:00:00")});
    again.start_and_survey();
    again.ui([&](auto& c) { return c.take_settings({{"retry", "3"}}); });
    EXPECT_EQ(again.press(Button::start), std::nullopt);
    ASSERT_TRUE(again.controller->wait_idle(60s));
    EXPECT_TRUE(again.rack->board(0)->numbers().empty());
    EXPECT_EQ(root.read("Ring.TXT"), now);
}

// retry 3, every call "Z": a list whose second line was deleted by hand after two calls of
// every record. Each record keeps its count at its new place, is called once more and never a
// fourth time; the deleted record's attempts are said at the start.
TEST(CallingEngine, AHandEditedListKeepsEachRecordsAttempts) {
    std::string before, attempts;
    for (int i = 1; i <= 5; ++i) {
        std::string number = "200000" + std::to_string(i);
        before += record(number, "    100", 'Z');
        // 1786183200: 2026-08-08T08:00:00, months before this run.
        attempts += std::to_string(i) + " " + number + " 2 1786183200\r\n";
    }
    std::string edited = before.substr(0, 20) + before.substr(40);
    Campaign c("K1 ring line busy=2 results=2\n", edited);
    c.root.write("Ring.TXT.attempts", attempts);
    EXPECT_EQ(c.p.ui([](auto& d) {
        return d.take_settings({{"retry", "3"}, {"retry-gap", "120"}});
    }),
              "");
    std::vector<std::string> log;
    c.p.controller->state().log.set_listener(
        {[&](const std::string& line, bool) { log.push_back(line); }, {}});
    c.run();
    EXPECT_EQ(numbers_handed(*c.p.rack->board(0)),
              (std::vector<std::string>{"2000001", "2000003", "2000004", "2000005"}));
    EXPECT_EQ(std::count(log.begin(), log.end(), "попытки 1 записи не найдены в списке"), 1);

    // Started again, every record has had its three calls.
    Campaign again("K1 ring line busy=2 results=2\n", c.root.read("Ring.TXT"));
    again.root.write("Ring.TXT.attempts", c.root.read("Ring.TXT.attempts"));
    again.p.ui([](auto& d) { return d.take_settings({{"retry", "3"}}); });
    again.run();
    EXPECT_TRUE(again.p.rack->board(0)->numbers().empty());
}

// A kill between a verdict's line in RINGY.txt and its mark: with retry, the next start marks
// the record from the line written after its last counted call, and never calls it; a line
// from before that call is an earlier verdict and marks nothing. Without retry the logs tell
// no call from another, and the record is called again as before. New logs beside a 0600 list
// are 0600.
TEST(CallingEngine, AVerdictLoggedButNotMarkedIsMarkedAtTheNextStartWithRetry) {
    for (bool retry : {true, false}) {
        Campaign c("K1 ring line busy=2 results=2\n", record("2000001", "    100") +
                                                          record("2000002", "    200") +
                                                          record("2000003", "    300"));
        LocalTime call = at("2026-12-08T09:30:00");
        c.root.write("Ring.TXT.attempts", "1 2000001 1 " + std::to_string(calendar_seconds(call)) +
                                              "\r\n2 2000002 1 " +
                                              std::to_string(calendar_seconds(call)) + "\r\n");
        std::string notified = result_log_line("2000002", at("2026-12-08T09:10:00"), ' ') +
                               result_log_line("2000001", at("2026-12-08T09:30:07"), ' ');
        c.root.write("RINGY.txt", notified);
        std::filesystem::permissions(
            c.root.path / "Ring.TXT",
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        if (retry) {
            EXPECT_EQ(c.p.ui([](auto& d) { return d.take_settings({{"retry", "2"}}); }), "");
        }
        std::vector<std::string> log;  // the box is emptied while the rounds poll
        c.p.controller->state().log.set_listener(
            {[&](const std::string& line, bool) { log.push_back(line); }, {}});
        c.run();
        std::vector<std::string> handed = numbers_handed(*c.p.rack->board(0));
        long replayed =
            std::count(log.begin(), log.end(), "Отметка Y записи 2000001 из C:\\RINGY.txt");
        if (retry) {
            EXPECT_EQ(std::count(handed.begin(), handed.end(), "2000001"), 0);
            EXPECT_EQ(std::count(handed.begin(), handed.end(), "2000002"), 1);
            EXPECT_EQ(std::count(handed.begin(), handed.end(), "2000003"), 2);
            EXPECT_EQ(replayed, 1);
            EXPECT_EQ(c.root.read("Ring.TXT").substr(0, 20), record("2000001", "    100", 'Y'));
            EXPECT_EQ(c.root.read("RINGY.txt"), notified);
        } else {
            EXPECT_EQ(handed, (std::vector<std::string>{"2000001", "2000002", "2000003"}));
            EXPECT_EQ(replayed, 0);
        }
        EXPECT_EQ(file_mode(c.root.path / "RINGN.txt") & 0777, 0600u) << retry;
    }
}
