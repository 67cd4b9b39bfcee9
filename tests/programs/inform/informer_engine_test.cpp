#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "inform/inform_controller.h"
#include "inform/inform_uploads.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"
#include "support/voice_prompts.h"

using namespace core;
using namespace station;
using namespace inform;
using namespace std::chrono_literals;

namespace {

struct Informer {
    Informer(const std::string& rack, const char* start = "2026-12-07T09:05:03")
        : p(rack, Setting{"", root.path.string(), at(start)}) {
        p.start_and_survey();
    }
    std::optional<std::string> press(Button b) { return p.press(b); }
    // Runs until the PC clock shows the given time, then stops and waits for the end.
    void run_until(const char* time) {
        p.run_then_stop(std::chrono::seconds(calendar_seconds(at(time)) -
                                             calendar_seconds(p.clock.local_time())));
    }
    const std::vector<std::array<uint8_t, 5>>& clocks(int k) const {
        return p.rack->board(k)->clock_settings();
    }

    TempRoot root;
    ProgramOnRack<InformController> p;
};

std::array<uint8_t, 5> data_of(const std::array<uint8_t, 6>& bytes) {
    return {bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]};
}

}  // namespace

TEST(BoardClock, BytesComeFromOneReadingOfThePcClock) {
    EXPECT_EQ(clock_bytes(at("2026-12-07T09:05:03")),
              (std::array<uint8_t, 6>{0x51, 0x09, 0x09, 0x05, 0x05, 0x00}));  // a Monday
    EXPECT_EQ(clock_bytes(at("2026-12-13T23:59:00")),
              (std::array<uint8_t, 6>{0x51, 0x23, 0x17, 0x59, 0x3B, 0x06}));  // a Sunday
    EXPECT_EQ(clock_bytes(at("2026-12-12T00:00:00"))[5], 5);                  // a Saturday
}

TEST(InformerEngine, ATimeServiceBoardGetsItsClockAtTheStartOfAMinute) {
    // The PC clock shows the time of the case when the engine reaches the board.
    struct Case {
        const char* reached;
        const char* set;
    } cases[] = {{"2026-12-07T09:05:03", "2026-12-07T09:05:03"},
                 {"2026-12-07T09:05:30", "2026-12-07T09:06:00"},
                 {"2026-12-07T09:05:05", "2026-12-07T09:06:00"}};
    for (const Case& c : cases) {
        std::string before = format_local_time(
            local_time_from_calendar_seconds(calendar_seconds(at(c.reached)) - 30),
            "%Y-%m-%dT%H:%M:%S");
        Informer i("K1 time line\n", before.c_str());
        i.p.clock.advance_to(i.p.clock.now() +
                             std::chrono::seconds(calendar_seconds(at(c.reached)) -
                                                  calendar_seconds(i.p.clock.local_time())));
        i.run_until("2026-12-07T09:06:30");
        ASSERT_GE(i.clocks(0).size(), 1u) << c.reached;
        EXPECT_EQ(i.clocks(0)[0], data_of(clock_bytes(at(c.set)))) << c.reached;
    }
}

TEST(InformerEngine, CountersAddTheRepliesAndStopReleasesEveryChannel) {
    Informer i(
        "K1 informer line messages=0,3,0,2 message-time=10\nK5 time line messages=1\n"
        "K6 time noline\nK7 ring line\n");
    std::vector<unsigned> k1_counts;
    i.p.front_end.on_form_changed = [&] {
        unsigned c = i.p.controller->inform_form().call_count[0];
        if (k1_counts.empty() || k1_counts.back() != c) {
            k1_counts.push_back(c);
        }
    };
    i.run_until("2026-12-07T09:08:00");
    i.p.front_end.on_form_changed = nullptr;
    const sim::Board& k1 = *i.p.rack->board(0);
    int polls = static_cast<int>(std::count(k1.received().begin(), k1.received().end(), 0x56));
    unsigned expected = 0;
    for (int n = 0; n < polls; ++n) {
        expected += k1.setup().messages[std::min<size_t>(n, 3)];
    }
    ASSERT_GT(polls, 4);
    EXPECT_EQ(i.p.controller->inform_form().call_count[0], expected);
    EXPECT_EQ(k1_counts[1], 3u) << "a reply of 0 changes nothing, 3 adds 3";
    EXPECT_EQ(i.p.controller->inform_form().call_count[4],
              static_cast<unsigned>(std::count(i.p.rack->board(4)->received().begin(),
                                               i.p.rack->board(4)->received().end(), 0x56)));
    for (int k : {0, 4}) {
        const std::vector<uint8_t>& r = i.p.rack->board(k)->received();
        EXPECT_EQ(std::vector<uint8_t>(r.end() - 3, r.end()),
                  (std::vector<uint8_t>{0x56, CMD_STOP_MODE, CMD_END}));
    }
    EXPECT_EQ(i.p.rack->board(5)->received().size(), 4u) << "no line: never started";
    EXPECT_EQ(i.p.rack->board(6)->received().size(), 4u) << "ring-round: not Inform's";
    EXPECT_EQ(i.p.log().back(), "Останов Автоинформатора");
    EXPECT_EQ(i.p.controller->form().status_text, " Автоинформатор остановлен ! ");
    EXPECT_EQ(i.p.controller->state().link_state, LINK_WORK_ENDED);
    for (Button b : {Button::start, Button::informer_upload, Button::time_upload, Button::check,
                     Button::permit}) {
        EXPECT_TRUE(i.press(b).has_value());
    }
    EXPECT_EQ(i.press(Button::start), "Запрет старта ! ");
    EXPECT_EQ(i.press(Button::stop), "Запрет Останова ! ");
    i.p.ui([](auto& c) { c.OnChannelK(3); });
    EXPECT_EQ(i.p.controller->state().table.current_channel, 2) << "the radios work again";
}

TEST(InformerEngine, PausesSpaceEveryByteOfAPoll) {
    std::string trace = temp_path("informer_trace.txt");
    {
        TempRoot root;
        ProgramOnRack<InformController> p("K1 informer line messages=0\nK3 informer line\n",
                                          Setting{trace, root.path.string()});
        p.start_and_survey();
        p.run_then_stop(3s);
    }
    std::vector<std::pair<double, std::string>> events = trace_events(trace);
    std::remove(trace.c_str());
    // 50 ms before the form update and 50 ms before the select, 4 ms before its reply is
    // read, 2 ms before CMD_WAIT_MESSAGE and before the byte after its reply.
    auto gap = [&](size_t i) { return events[i].first - events[i - 1].first; };
    int polls = 0;
    for (size_t i = 3; i + 2 < events.size(); ++i) {
        if (events[i].second != "> 56") {
            continue;
        }
        ++polls;
        EXPECT_EQ(events[i - 2].second.substr(0, 3), "> 0") << events[i - 2].first;
        EXPECT_NEAR(gap(i - 2), 0.100, 0.0001) << events[i - 2].first;
        EXPECT_NEAR(gap(i - 1), 0.004, 0.0001) << events[i - 1].first;
        EXPECT_NEAR(gap(i), 0.002, 0.0001) << events[i].first;
        EXPECT_NEAR(gap(i + 2), 0.002, 0.0001) << events[i + 2].first;
    }
    EXPECT_GE(polls, 10);
}

TEST(InformerEngine, OneCorrectionPerTenMinuteMarkOnTheFirstTimeChannel) {
    Informer i("K2 time line messages=1 message-time=20\nK4 time line\n", "2026-12-07T09:27:00");
    i.run_until("2026-12-07T09:52:00");
    // Set at the start, then corrected at 09:30, 09:40 and 09:50 on K2 only.
    EXPECT_EQ(i.clocks(1).size(), 4u);
    EXPECT_EQ(i.clocks(3).size(), 1u);
    EXPECT_EQ(i.clocks(1)[1][2], 0x30);  // BCD minute of the first correction
    EXPECT_EQ(i.clocks(1)[3][2], 0x50);

    // Three 58 s messages make a cycle of nearly three minutes: one that begins at minute 19
    // runs into minute 21, so minute 20 gets no correction.
    Informer slow(
        "K1 informer line message-time=58\nK2 informer line message-time=58\n"
        "K3 informer line message-time=58\nK4 time line\n",
        "2026-12-07T09:18:40");
    slow.run_until("2026-12-07T09:25:00");
    EXPECT_EQ(slow.clocks(3).size(), 1u);
}

TEST(InformerEngine, AFailureEndsTheRunWithItsTextAndLeavesTheOtherBoardsAlone) {
    struct Case {
        std::string rack;
        const char* text;
    } cases[] = {
        {"K1 informer line\nK2 informer line silent-after=4\nK3 time line\n", "Тайм-Аут0"},
        {"K1 informer line\nK2 informer line silent-after=5\nK3 time line\n", "Тайм-Аут00"},
        {"K1 informer line\nK2 time line silent-after=6\nK3 time line\n", "Тайм-АутT"},
        {"K1 informer line\nK2 informer line silent-after=6\nK3 time line\n", "Тайм-Аут000"},
        {"K1 informer line\nK2 informer line silent-after=7\n", "Тайм-Аут1"},
        {"K1 informer line\nK2 informer line message-time=60\n", "Тайм-Аут rezult"},
        {"K1 informer line\nK2 informer line silent-after=9\n", "Тайм-Аут otkl"},
    };
    for (const Case& c : cases) {
        Informer i(c.rack);
        ASSERT_EQ(i.press(Button::start), std::nullopt);
        ASSERT_TRUE(i.p.controller->wait_idle(20s));
        std::vector<std::string> log = i.p.log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], c.text) << c.rack;
        EXPECT_EQ(log.back(), "Останов Автоинформатора");
        EXPECT_EQ(i.p.controller->form().status_text, " Автоинформатор остановлен ! ");
        if (std::string(c.text) != "Тайм-Аут rezult" && std::string(c.text) != "Тайм-Аут1" &&
            std::string(c.text) != "Тайм-Аут otkl") {
            // A failure in the start pass: the channels after it are never started.
            const sim::Board* k3 = i.p.rack->board(2);
            EXPECT_TRUE(k3 == nullptr || k3->received().size() == 4u) << c.rack;
        }
        // K1 was started and is left serving: no stop byte reached it.
        const std::vector<uint8_t>& k1 = i.p.rack->board(0)->received();
        EXPECT_EQ(std::count(k1.begin() + 4, k1.end(), CMD_STOP_MODE), 0) << c.rack;
    }
}

TEST(InformerEngine, StartAndStopAreRefusedWhereTheyCannotWork) {
    Informer none("K1 time noline\nK2 ring line\n");
    EXPECT_EQ(none.press(Button::stop), "Запрет Останова ! ");
    EXPECT_EQ(none.press(Button::start), "Нет канала автоинформатора !");
    EXPECT_EQ(none.p.controller->state().link_state, LINK_FREE);
    none.p.controller->state().link_state = LINK_CHECK;
    EXPECT_EQ(none.press(Button::start), "Запрет старта ! ");
}

TEST(InformerUploads, TheMessageAndTheHundredEightyTwoTimePhonemes) {
    Informer i("K2 line\nK3 line silent-after=" +
               std::to_string(4 + 4 + 2 * 7 + 2 + 2 + 2 * 24 + 2 + 2 + 2 * 7 + 2 + 2 + 2 * 5 + 1) +
               "\n");
    write_voice_prompts(DriveC(i.root.path), informer_upload());
    write_voice_prompts(DriveC(i.root.path), time_upload());
    i.p.ui([](auto& c) { c.OnChannelK(2); });
    i.press(Button::permit);
    ASSERT_EQ(i.press(Button::informer_upload), std::nullopt);
    ASSERT_TRUE(i.p.controller->wait_idle(10s));
    const sim::Board& k2 = *i.p.rack->board(1);
    EXPECT_EQ(std::vector<uint8_t>(k2.received().begin() + 4, k2.received().end()),
              (std::vector<uint8_t>{0x01, 0x53, 0x90, 0x01, 0x01, 0x01, 0x52, 0x01, 0xFF}));
    EXPECT_EQ(k2.mode(), MODE_INFORMER);
    EXPECT_EQ(k2.sections()[0].phonemes[0].files[0], "c:/wav/Spravka.wav");

    i.press(Button::permit);
    ASSERT_EQ(i.press(Button::time_upload), std::nullopt);
    ASSERT_TRUE(i.p.controller->wait_idle(10s));
    EXPECT_EQ(k2.mode(), MODE_TIME);
    // The six sections written out: code, phonemes, first number, kind and language, and the
    // closing pair of the first four.
    struct TimeSection {
        uint8_t code;
        int count;
        int first;
        const char* name;
        std::vector<uint8_t> closing;
    };
    const TimeSection sections[] = {
        {0x10, 7, 1, "DU", {0x10, 0x40}}, {0x20, 24, 0, "HU", {0x10, 0x4E}},
        {0x30, 7, 1, "DR", {0x10, 0x00}}, {0x40, 24, 0, "HR", {0x10, 0x0E}},
        {0x50, 60, 0, "MU", {}},          {0x60, 60, 0, "MR", {}},
    };
    std::vector<uint8_t> bytes{0x01, 0x53};
    std::vector<std::string> files;
    for (const TimeSection& s : sections) {
        bytes.insert(bytes.end(), {s.code, static_cast<uint8_t>(s.count)});
        for (int n = s.first; n < s.first + s.count; ++n) {
            bytes.insert(bytes.end(), 2, static_cast<uint8_t>(s.count));
            char name[32];
            std::snprintf(name, sizeof name, "c:/Time/%02d%s.wav", n, s.name);
            files.push_back(name);
        }
        bytes.insert(bytes.end(), s.closing.begin(), s.closing.end());
    }
    bytes.insert(bytes.end(), {0x52, 0x03, 0xFF});
    ASSERT_EQ(bytes.size(), 389u);
    EXPECT_EQ(std::vector<uint8_t>(k2.received().begin() + 4 + 9, k2.received().end()), bytes);
    std::vector<std::string> played;
    for (const auto& section : k2.sections()) {
        for (const auto& phoneme : section.phonemes) {
            played.insert(played.end(), phoneme.files.begin(), phoneme.files.end());
        }
    }
    ASSERT_EQ(played.size(), 182u);
    EXPECT_EQ(played, files);
    EXPECT_EQ(files[7 + 10], "c:/Time/10HU.wav");
    EXPECT_EQ(files[7 + 24 + 7 + 24], "c:/Time/00MU.wav");
    EXPECT_TRUE(k2.anomalies().empty());
    std::vector<std::string> log = i.p.log();
    for (const char* line :
         {"Подключение к шине ", "Сброс кодера", "Запись дней недели UZ ", "Запись минут RU ",
          "Запись  режима времени ", "Отключение от шины "}) {
        EXPECT_EQ(std::count(log.begin(), log.end(), line), 1) << line;
    }

    // K3 falls silent at the closing count byte of c:/Time/05HR.wav.
    i.p.ui([](auto& c) { c.OnChannelK(3); });
    i.press(Button::permit);
    ASSERT_EQ(i.press(Button::time_upload), std::nullopt);
    ASSERT_TRUE(i.p.controller->wait_idle(10s));
    log = i.p.log();
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
              (std::vector<std::string>{"Тайм-Аут", "===Запись фонем завершена==="}));
    const sim::Board& k3 = *i.p.rack->board(2);
    EXPECT_EQ(k3.sections().size(), 4u);
    EXPECT_EQ(k3.sections()[3].phonemes.size(), 5u);
    EXPECT_TRUE(k3.modes_written().empty());
    EXPECT_EQ(i.p.controller->form().status_text, " Ожидание старта или записи фонем в канал ");
    EXPECT_EQ(i.press(Button::time_upload), "Нет разрешения Записи! ");
}

// The whole rack silent for a while: with reconnect Inform tries again every 30 s, surveys,
// serves on and sets the time board's clock again. A rack that stays away is waited for until
// "Стоп", which ends the waiting as a stop, not as a failure.
TEST(InformerEngine, ALostRackIsFoundAgainAndItsClocksAreSetAgain) {
    for (const char* silence : {"100,200", "100,5000"}) {
        TempRoot root;
        std::string rack = std::string("K1 informer line silent-between=") + silence +
                           "\nK2 time line silent-between=" + silence + "\n";
        ProgramOnRack<InformController> p(
            rack, Setting{"", root.path.string(), at("2026-12-07T09:05:03")});
        p.controller->set_reconnect(30s);
        std::vector<std::string> log;  // every line, though the box empties itself
        p.controller->state().log.set_listener(
            {[&](const std::string& line, bool) { log.push_back(line); }, {}});
        p.start_and_survey();
        p.run_then_stop(600s);
        auto logged = [&](const std::string& line) {
            return std::find(log.begin(), log.end(), line) != log.end();
        };
        EXPECT_TRUE(logged("Нет связи с платами; новая попытка через 30 с")) << silence;
        EXPECT_FALSE(p.controller->state().run_failed) << silence;
        const auto& clocks = p.rack->board(1)->clock_settings();
        if (std::string(silence) == "100,200") {
            EXPECT_TRUE(logged("Связь с платами восстановлена"));
            // Set at the start, set again once the rack was back (after 09:08:23), then the
            // ten-minute correction.
            ASSERT_EQ(clocks.size(), 3u);
            EXPECT_EQ(clocks[0], data_of(clock_bytes(at("2026-12-07T09:06:00"))));
            EXPECT_EQ(clocks[1], data_of(clock_bytes(at("2026-12-07T09:09:00"))));
            EXPECT_EQ(clocks[2], data_of(clock_bytes(at("2026-12-07T09:10:00"))));
        } else {
            EXPECT_TRUE(logged("Восстановление связи остановлено"));
            EXPECT_EQ(clocks.size(), 1u);
        }
    }
}

// An unsynchronised PC clock, looked at when the run starts and an hour later: "warn" says so
// and corrects the boards all the same; "hold" also holds the corrections until the clock is
// synchronised again, and says when they resume.
TEST(InformerEngine, AnUnsynchronisedPcClockIsSaidAndItsCorrectionsHeld) {
    for (ClockCheckMode mode : {ClockCheckMode::warn, ClockCheckMode::hold}) {
        TempRoot root;
        ProgramOnRack<InformController> p(
            "K2 time line message-time=20\n",
            Setting{"", root.path.string(), at("2026-12-07T09:05:03")});
        int looks = 0;
        p.controller->set_clock_check(ClockCheck(mode, [&] {
            return ++looks == 1 ? ClockSync::unsynchronised : ClockSync::synchronised;
        }));
        std::vector<std::string> log;
        p.controller->state().log.set_listener(
            {[&](const std::string& line, bool) { log.push_back(line); }, {}});
        p.start_and_survey();
        p.run_then_stop(std::chrono::seconds(7200));
        EXPECT_EQ(looks, 2);
        EXPECT_EQ(std::count(log.begin(), log.end(), "Часы ПК не синхронизированы"), 1);
        const auto& clocks = p.rack->board(1)->clock_settings();
        ASSERT_GE(clocks.size(), 2u);
        EXPECT_EQ(clocks[0], data_of(clock_bytes(at("2026-12-07T09:06:00"))));
        if (mode == ClockCheckMode::warn) {
            EXPECT_EQ(clocks[1], data_of(clock_bytes(at("2026-12-07T09:10:00"))));
        } else {
            EXPECT_EQ(clocks[1], data_of(clock_bytes(at("2026-12-07T10:10:00"))));
            EXPECT_EQ(std::count(log.begin(), log.end(),
                                 "Часы ПК синхронизированы: корректировка часов плат возобновлена"),
                      1);
        }
    }
}

namespace {

// A USB adapter that drops out at the first select after so many bytes, and is back at the
// next reopen, until it is told to stay away.
class FlakyAdapter : public Transport {
  public:
    FlakyAdapter(Transport& inner, int bytes_up) : inner_(inner), bytes_up_(bytes_up) {}

    std::string name() const override { return inner_.name(); }
    std::string write_byte(uint8_t value) override {
        ++sent_;
        return down_ ? std::string() : inner_.write_byte(value);
    }
    ReadResult read_byte(Duration deadline) override {
        return down_ ? ReadResult::lost("устройство отключено") : inner_.read_byte(deadline);
    }
    std::vector<uint8_t> discard_input() override {
        // Before a select: the rack never sees half a sequence.
        down_ = down_ || sent_ >= bytes_up_;
        return down_ ? std::vector<uint8_t>() : inner_.discard_input();
    }
    std::string reopen() override {
        // Told before it answers, so that a test can keep it away from this reopen on.
        on_reopen(++reopens_);
        if (stay_away) {
            return "устройство отключено";
        }
        down_ = false;
        sent_ = 0;
        return {};
    }

    std::function<void(int)> on_reopen;
    std::atomic<bool> stay_away{false};

  private:
    Transport& inner_;
    int bytes_up_;
    bool down_ = false;
    int sent_ = 0;
    int reopens_ = 0;
};

// What the process holds: its threads and its address space in kB (0 where not known).
std::pair<long, long> process_size() {
    long tasks = 0;
    long vm_kb = 0;
#ifdef __linux__
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", ec);
         !ec && it != std::filesystem::directory_iterator(); ++it) {
        ++tasks;
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmSize:", 0) == 0) {
            vm_kb = std::stol(line.substr(7));
        }
    }
#endif
    return {tasks, vm_kb};
}

}  // namespace

// An adapter that drops out again and again: each time the run fails, the link is reopened
// and a new engine serves on. The engine that ended is joined, so fifty reconnects hold the
// threads and the memory that the first held.
TEST(InformerEngine, FiftyReconnectsHoldWhatOneHolds) {
    TempRoot root;
    ProgramOnRack<InformController> p("K1 informer line\nK2 time line\n",
                                      Setting{"", root.path.string(), at("2026-12-07T09:05:03")});
    FlakyAdapter& adapter = p.interpose<FlakyAdapter>(60);
    p.controller->set_reconnect(30s);
    struct Held {
        size_t workers = 0;
        std::pair<long, long> process;
    };
    std::map<int, Held> held;  // by reopen, taken on the reconnecting worker between runs
    std::atomic<int> reopens{0};
    adapter.on_reopen = [&](int n) {
        if (n == 2 || n == 51) {
            held[n] = {p.controller->worker_threads(), process_size()};
        }
        adapter.stay_away = n >= 51;  // the stop then always meets the reconnect's wait
        reopens = n;
    };
    p.start_and_survey();
    Duration until = p.clock.now() + std::chrono::hours(24 * 30);
    p.clock.hold_at(until);
    ASSERT_EQ(p.press(Button::start), std::nullopt);
    auto give_up = std::chrono::steady_clock::now() + 120s;
    while (reopens < 51 && std::chrono::steady_clock::now() < give_up &&
           !p.clock.wait_reached(until, 5ms)) {
    }
    ASSERT_GE(reopens, 51) << "the run stopped failing, or the reconnects stopped";
    EXPECT_EQ(p.press(Button::stop), std::nullopt);
    p.clock.release_hold();
    ASSERT_TRUE(p.controller->wait_idle(20s));
    std::vector<std::string> log = p.log();
    EXPECT_NE(std::find(log.begin(), log.end(), "Восстановление связи остановлено"), log.end());
    // The engine of the run that just failed may still be on its way out (one more), never
    // the engines of all the runs before it.
    EXPECT_LE(held[51].workers, held[2].workers + 1);
#ifdef __linux__
    EXPECT_LE(held[51].process.first, held[2].process.first + 1) << "threads";
    // An unjoined thread keeps its 8 MB stack: 49 of them would be some 400 MB. The allocator
    // may reserve an arena (64 MB) for a thread it had not met.
    EXPECT_LT(held[51].process.second - held[2].process.second, 160 * 1024) << "kB";
#endif
}
