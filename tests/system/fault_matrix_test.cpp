// A board that falls silent at each byte position of a sequence in turn: the step's text in
// the log, nothing more sent to the bus, the link free again and the form idle.

#include <gtest/gtest.h>

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

const int SURVEY_BYTES = 4;

struct Row {
    std::string sequence;
    int bytes;  // how many bytes the sequence sends the board
    Button button;
    const char* end_line;
    const char* idle;
};

// The sequence against K2, whose board answers `answered` of its bytes after the survey.
template <typename C>
void silent_at(const Row& row, const TempRoot& root, int answered) {
    ProgramOnRack<C> p("K1 ring line\nK2 line play-time=3 silent-after=" +
                           std::to_string(SURVEY_BYTES + answered) + "\nK3 ring line\n",
                       Setting{"", root.path.string()});
    p.start_and_survey();
    p.ui([](auto& c) { c.OnChannelK(2); });
    p.press(Button::permit);
    std::vector<size_t> others{p.received(0).size(), p.received(2).size()};
    p.ui([&](auto& c) { return c.press(row.button); });
    ASSERT_TRUE(p.controller->wait_idle(10s));
    std::string at = row.sequence + ", silent after " + std::to_string(answered) + " bytes";
    std::vector<std::string> log = p.log();
    ASSERT_GE(log.size(), 2u) << at;
    EXPECT_EQ(log[log.size() - 2], "Тайм-Аут") << at;
    EXPECT_EQ(log.back(), row.end_line) << at;
    EXPECT_EQ(p.received(1).size(), static_cast<size_t>(SURVEY_BYTES + answered + 1))
        << at << ": nothing may be sent after the silent byte";
    EXPECT_EQ(p.received(0).size(), others[0]) << at;
    EXPECT_EQ(p.received(2).size(), others[1]) << at;
    EXPECT_TRUE(p.rack->board(1)->modes_written().empty()) << at;
    EXPECT_EQ(p.controller->state().link_state, LINK_FREE) << at;
    EXPECT_EQ(p.controller->form().status_text, row.idle) << at;
}

template <typename C>
void sweep(const Row& row, const UploadTable* table) {
    TempRoot root;
    if (table != nullptr) {
        write_voice_prompts(DriveC(root.path), *table);
    }
    // The last two bytes (mode number, end) come after the mode is written.
    int positions = table != nullptr ? row.bytes - 2 : row.bytes;
    for (int answered = 0; answered < positions; ++answered) {
        silent_at<C>(row, root, answered);
        if (::testing::Test::HasFailure()) {
            return;  // one row is enough to read
        }
    }
}

const char* const IDLE = " Ожидание старта или записи фонем в канал ";
const char* const PIN_IDLE = " Ожидание старта или записи режима DTMF ";
const char* const PIN_ENDED = " Прием DTMF-кодов остановлен ! ";

}  // namespace

TEST(FaultMatrix, DialrunUpload) {
    // select, reset, header 2, 100 framed phonemes, mode, its number, end
    sweep<dialrun::DialrunController>(
        {"Dialrun upload", 207, Button::upload, "===Запись фонем завершена===", IDLE},
        &dialrun::dialrun_upload());
}

TEST(FaultMatrix, PinModeUpload) {
    sweep<pinread::PinreadController>(
        // select, reset, header 2, 16 framed phrases, mode, its number, end
        {"PIN-mode upload", 39, Button::upload, "===Запись режима PINKOD завершена===", PIN_IDLE},
        &pinread::pin_mode_upload());
}

TEST(FaultMatrix, InformerUpload) {
    // select, reset, header 2, one framed message, mode, its number, end
    sweep<inform::InformController>(
        {"informer upload", 9, Button::informer_upload, "===Запись фонем завершена===", IDLE},
        &inform::informer_upload());
}

TEST(FaultMatrix, TimeServiceUpload) {
    // select, reset, six headers, 182 framed phonemes, four closing pairs, mode, number, end
    sweep<inform::InformController>(
        {"time-service upload", 389, Button::time_upload, "===Запись фонем завершена===", IDLE},
        &inform::time_upload());
}

TEST(FaultMatrix, PhonemeCheck) {
    // select, CMD_PLAY_ALL (its wait is bounded), end
    sweep<dialrun::DialrunController>(
        {"check", 3, Button::check, "===Котроль Фонем завершен===", IDLE}, nullptr);
    sweep<inform::InformController>(
        {"check", 3, Button::check, "===Контроль Фонем завершен===", IDLE}, nullptr);
}

TEST(FaultMatrix, Survey) {
    // K2 silent at its select is absent; silent later it stops the survey there.
    for (int answered = 0; answered < 4; ++answered) {
        ProgramOnRack<pinread::PinreadController> p("K1 ring line\nK2 dtmf line silent-after=" +
                                                    std::to_string(answered) + "\nK3 ring line\n");
        p.start_and_survey();
        std::vector<std::string> log = p.log();
        if (answered == 0) {
            EXPECT_EQ(p.controller->state().link_state, LINK_FREE);
            EXPECT_EQ(p.controller->form().channel_box[1], 0);
            EXPECT_EQ(p.received(2).size(), 4u);
            continue;
        }
        EXPECT_EQ(log.back(), "Тайм-аут ответа.Остaнов!") << answered;
        EXPECT_EQ(p.received(1).size(), static_cast<size_t>(answered + 1)) << answered;
        EXPECT_TRUE(p.received(2).empty()) << answered;
        EXPECT_EQ(p.controller->state().link_state, LINK_SURVEY);
        EXPECT_EQ(p.controller->form().status_text, STATUS_SURVEY);
    }
}

namespace {

// Answers the n-th select (counted from start()) with the address's neighbour, then counts
// every byte the program still sends. Link::send_select drops stale input first, which is how
// a select is told from a data byte that looks the same. With only_byte, only selects of that
// byte count.
class WrongEchoAt : public Transport {
  public:
    WrongEchoAt(Transport& inner, int n, int only_byte = -1)
        : inner_(inner), n_(n), only_byte_(only_byte) {}
    void start() { counting_ = true; }
    int sent_after_fault() const { return after_; }
    bool faulted() const { return fired_; }

    std::string name() const override { return inner_.name(); }
    std::string write_byte(uint8_t value) override {
        if (fired_) {
            ++after_;
        } else if (counting_ && select_next_ && (only_byte_ < 0 || value == only_byte_) &&
                   ++selects_ == n_) {
            arm_ = true;
        }
        select_next_ = false;
        return inner_.write_byte(value);
    }
    ReadResult read_byte(Duration deadline) override {
        ReadResult r = inner_.read_byte(deadline);
        if (arm_ && r.kind == ReadResult::Kind::byte) {
            arm_ = false;
            fired_ = true;
            r.value = static_cast<uint8_t>((r.value & ~7) | ((r.value + 1) & 7));
        }
        return r;
    }
    std::vector<uint8_t> discard_input() override {
        select_next_ = true;
        return inner_.discard_input();
    }

  private:
    Transport& inner_;
    int n_;
    int only_byte_;
    bool counting_ = false;
    bool select_next_ = false;
    int selects_ = 0;
    bool arm_ = false;
    bool fired_ = false;
    int after_ = 0;
};

const char* const ECHO_RACK =
    "K1 ring line busy=1\nK2 dtmf line ring=1 dial=1\nK3 informer line\nK4 time line\n"
    "K5 ring line\nK6 dtmf line\n";

// The n-th select of an action on a program: the echo text in the log, nothing sent after.
template <typename C>
void wrong_echo_at(int n, Button button, const std::vector<std::string>& texts, int final_state,
                   const std::string& list = "") {
    TempRoot root;
    root.write("Ring.TXT", list);
    write_voice_prompts(DriveC(root.path), dialrun::dialrun_upload());
    write_voice_prompts(DriveC(root.path), pinread::pin_mode_upload());
    write_voice_prompts(DriveC(root.path), inform::informer_upload());
    LocalTime nine;
    parse_local_time("2026-12-07T09:00:00", nine);
    ProgramOnRack<C> p(ECHO_RACK, Setting{"", root.path.string(), nine});
    WrongEchoAt& tampered = p.template interpose<WrongEchoAt>(n);
    p.start_and_survey();
    p.ui([](auto& c) { c.OnChannelK(2); });
    p.press(Button::permit);
    tampered.start();
    Duration until = p.clock.now() + 600s;
    p.clock.hold_at(until);
    ASSERT_EQ(
        p.ui([button](auto& c) { return c.press(button); }),
        button == Button::check
            ? std::optional<std::string>(
                  "           ВНИМАНИЕ !\nПозвонить,прослушать все фонемы\n     и нажать ОК! ")
            : std::nullopt);
    auto give_up = std::chrono::steady_clock::now() + 10s;
    while (!p.clock.wait_reached(until, 5ms) && p.controller->busy()) {
        ASSERT_LT(std::chrono::steady_clock::now(), give_up);
    }
    p.clock.release_hold();
    ASSERT_TRUE(p.controller->wait_idle(10s));
    std::string at = "select " + std::to_string(n);
    ASSERT_TRUE(tampered.faulted()) << at;
    std::vector<std::string> log = p.log();
    bool found = false;
    for (const std::string& text : texts) {
        found = found || std::find(log.begin(), log.end(), text) != log.end();
    }
    EXPECT_TRUE(found) << at << ": " << log.back();
    EXPECT_EQ(tampered.sent_after_fault(), 0) << at << ": nothing may follow a wrong echo";
    EXPECT_EQ(p.controller->state().link_state, final_state) << at;
}

}  // namespace

TEST(FaultMatrix, AWrongEchoAtEachSelectEndsTheSequenceAndNothingFollows) {
    std::string list;
    for (int i = 0; i < 30; ++i) {
        list += record(std::to_string(6000000 + i), "   1000");
    }
    list += "\r\n";
    for (int n = 1; n <= 12; ++n) {
        // Start pass and polls of each engine.
        wrong_echo_at<dialrun::DialrunController>(n, Button::start, {"Ошибка Адреса"},
                                                  LINK_WORK_ENDED, list);
        wrong_echo_at<pinread::PinreadController>(
            n, Button::start, {"Ошибка Адреса", "Ошибка Адреса "}, LINK_WORK_ENDED);
        wrong_echo_at<inform::InformController>(n, Button::start, {"Ошибка Адреса"},
                                                LINK_WORK_ENDED);
        if (HasFailure()) {
            return;
        }
    }
    // The one select of the check and of each upload.
    wrong_echo_at<dialrun::DialrunController>(1, Button::check, {"Ошибка Адреса"}, LINK_FREE);
    wrong_echo_at<dialrun::DialrunController>(1, Button::upload, {"Ошибка Адреса"}, LINK_FREE);
    wrong_echo_at<pinread::PinreadController>(1, Button::upload, {"Ошибка Адреса"}, LINK_FREE);
    wrong_echo_at<inform::InformController>(1, Button::informer_upload, {"Ошибка Адреса"},
                                            LINK_FREE);
}

TEST(FaultMatrix, AWrongEchoAtPinreadsSelectWithBit7EndsTheReception) {
    TempRoot root;
    ProgramOnRack<pinread::PinreadController> p("K1 dtmf line ring=1000\nK2 dtmf line ring=1000\n",
                                                Setting{"", root.path.string()});
    WrongEchoAt& tampered = p.interpose<WrongEchoAt>(1, CMD_SELECT_BIT7 | 1);
    p.start_and_survey();
    tampered.start();
    p.run_then_stop(2s);
    ASSERT_TRUE(tampered.faulted());
    std::vector<std::string> log = p.log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Ошибка Адреса ");
    EXPECT_EQ(log.back(), "Останов приема DTMF-кодов");
    EXPECT_EQ(tampered.sent_after_fault(), 0) << "nothing may follow a wrong echo";
    EXPECT_EQ(p.controller->state().link_state, LINK_WORK_ENDED);
    EXPECT_EQ(p.controller->form().status_text, PIN_ENDED);
}

namespace {

// One byte of an engine's sequence on K2: what it is, and the log text when it gets no reply.
struct Step {
    const char* step;
    const char* text;
};

struct EngineRow {
    std::string rack;  // with %d where K2's silent-after count goes
    const char* start_time;
    const char* end_line;
    const char* ended_status;
};

// When the operator presses stop, in program time after start; none: never.
struct StopAt {
    bool press = false;
    Duration after{0};
};

std::string with_silence(const std::string& rack, int after) {
    std::string text = rack;
    text.replace(text.find("%d"), 2, std::to_string(after));
    return text;
}

// Runs an engine on the rack until it ends, stopped by the operator or by a failure.
template <typename C>
struct EngineRun {
    EngineRun(const EngineRow& row, int silent_after, StopAt stop)
        : p(with_silence(row.rack, silent_after),
            Setting{(root.path / "trace.txt").string(), root.path.string(), at(row.start_time)}) {
        p.start_and_survey();
        if (stop.press) {
            p.run_then_stop(stop.after);
            return;
        }
        EXPECT_EQ(p.press(Button::start), std::nullopt);
        EXPECT_TRUE(p.controller->wait_idle(20s));
    }
    std::string last_trace_line() const {
        std::string last = root.read("trace.txt");
        last.pop_back();
        return last.substr(last.rfind('\n') + 1);
    }

    TempRoot root;
    ProgramOnRack<C> p;
};

// K2 falls silent at each step in turn, from byte `first` of what it receives: the step's
// text and the end line in the log, the unanswered byte the last on the bus, the run ended.
template <typename C>
void engine_sweep(const EngineRow& row, int first, const std::vector<Step>& steps,
                  StopAt stop = {}) {
    for (size_t i = 0; i < steps.size(); ++i) {
        int answered = first + static_cast<int>(i);
        EngineRun<C> run(row, answered, stop);
        std::string at = std::string(steps[i].step) + " (byte " + std::to_string(answered) + ")";
        std::vector<std::string> log = run.p.log();
        ASSERT_GE(log.size(), 2u) << at;
        EXPECT_EQ(log[log.size() - 2], steps[i].text) << at;
        EXPECT_EQ(log.back(), row.end_line) << at;
        EXPECT_EQ(run.p.received(1).size(), static_cast<size_t>(answered + 1))
            << at << ": nothing may be sent to K2 after its silent byte";
        EXPECT_NE(run.last_trace_line().find(" > "), std::string::npos)
            << at << ": nothing may be sent to any board after it: " << run.last_trace_line();
        EXPECT_EQ(run.p.controller->state().link_state, LINK_WORK_ENDED) << at;
        EXPECT_EQ(run.p.controller->form().status_text, row.ended_status) << at;
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
}

const char* const ADRES = "Тайм-Аут Adres";

const EngineRow PIN_CALL{"K1 dtmf line ring=1000\nK2 dtmf line ring=1 dial=1 silent-after=%d\n",
                         "2026-12-07T09:00:00", "Останов приема DTMF-кодов", PIN_ENDED};

}  // namespace

TEST(FaultMatrix, PinreadEveryByteOfOneCall) {
    std::vector<Step> steps{
        {"start: select", "Тайм-Аут0"},
        {"start: DTMF mode", "Тайм-Аут00"},
        {"start: end", "Тайм-Аут000"},
        {"poll: select, ready", ADRES},
        {"arm: receive a PIN", "Тайм-Аут"},
        {"arm: four digits", "Тайм-АутF2"},
        {"poll: select, waiting for a ring", ADRES},
        {"poll: select, caller dialling", ADRES},
        {"poll: select, code dialled", ADRES},
        {"read: request the digits", "Тайм-Аут"},
        {"read: digit 1", "Тайм-Аут"},
        {"read: digit 2", "Тайм-Аут"},
        {"read: digit 3", "Тайм-Аут"},
        {"read: digit 4", "Тайм-Аут"},
        {"speak digit 1: play", "Тайм-Аут"},
        {"speak digit 1: phrase", "Тайм-Аут"},
    };
    for (int digit = 2; digit <= 4; ++digit) {
        steps.push_back({"poll: select, playing", ADRES});
        steps.push_back({"poll: select, played", ADRES});
        steps.push_back({"speak next digit: play", "Тайм-Аут"});
        steps.push_back({"speak next digit: phrase", "Тайм-Аут"});
    }
    steps.push_back({"poll: select, playing", ADRES});
    steps.push_back({"poll: select, played", ADRES});
    steps.push_back({"hang up", "Тайм-Аут"});
    steps.push_back({"release the bus", "Тайм-Аут otkl"});
    steps.push_back({"poll: select, ready for the next caller", ADRES});
    engine_sweep<pinread::PinreadController>(PIN_CALL, SURVEY_BYTES, steps);
}

TEST(FaultMatrix, PinreadEveryByteOfAStopWhileWaitingForARing) {
    const EngineRow waiting{"K1 dtmf line ring=1000\nK2 dtmf line ring=1000 silent-after=%d\n",
                            "2026-12-07T09:00:00", "Останов приема DTMF-кодов", PIN_ENDED};
    StopAt stop{true, 2s};
    // Where the stop's sequence begins: the select with bit 7, in a run that answers it all.
    std::vector<uint8_t> healthy =
        EngineRun<pinread::PinreadController>(waiting, 1000, stop).p.received(1);
    auto bit7 = std::find(healthy.begin(), healthy.end(), CMD_SELECT_BIT7 | 1);
    ASSERT_NE(bit7, healthy.end());
    engine_sweep<pinread::PinreadController>(waiting, static_cast<int>(bit7 - healthy.begin()),
                                             {{"poll: select with bit 7", ADRES},
                                              {"stop phrase: play", "Тайм-АутF1"},
                                              {"stop phrase: phrase 0", "Тайм-АутF2"},
                                              {"poll: select, playing", ADRES},
                                              {"poll: select, played", ADRES},
                                              {"hang up", "Тайм-Аут"},
                                              {"stop the mode", "Тайм-Аут3"},
                                              {"release the bus", "Тайм-Аут otkl"}},
                                             stop);
}

TEST(FaultMatrix, InformEveryByteOfTheStartACorrectionAndTheStop) {
    // Started just before ten (the survey takes some 13 s of it): the start waits for the
    // minute, the first poll falls on a ten-minute mark and corrects the clock, and a stop
    // pressed at once ends it there.
    const EngineRow time{"K1 informer line\nK2 time line silent-after=%d\n", "2026-12-07T09:59:40",
                         "Останов Автоинформатора", " Автоинформатор остановлен ! "};
    std::vector<Step> steps{{"start: select", "Тайм-Аут0"}, {"start: time service", "Тайм-Аут00"}};
    for (int b = 0; b < 6; ++b) {
        steps.push_back({"start: clock byte", "Тайм-АутT"});
    }
    steps.push_back({"start: end", "Тайм-Аут000"});
    steps.push_back({"poll: select", "Тайм-Аут1"});
    steps.push_back({"poll: messages played", "Тайм-Аут rezult"});
    for (int b = 0; b < 6; ++b) {
        steps.push_back({"correction: clock byte", "Тайм-АутT"});
    }
    steps.push_back({"stop the mode", "Тайм-Аут3"});
    steps.push_back({"release the bus", "Тайм-Аут otkl"});
    engine_sweep<inform::InformController>(time, SURVEY_BYTES, steps, StopAt{true, 0s});
}
