#include <gtest/gtest.h>

#include <fstream>

#include "dialrun/dialrun_controller.h"
#include "dialrun/dialrun_upload.h"
#include "inform/inform_controller.h"
#include "pinread/pinread_controller.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"
#include "support/voice_prompts.h"

using namespace core;
using namespace station;
using namespace std::chrono_literals;

namespace {

struct DialrunUpload {
    explicit DialrunUpload(const std::string& rack, const std::string& trace = "")
        : p(rack, Setting{trace, root.path.string()}) {
        write_voice_prompts(DriveC(root.path), dialrun::dialrun_upload());
        p.start_and_survey();
    }
    std::optional<std::string> press(Button b) {
        return p.ui([b](auto& c) { return c.press(b); });
    }
    void choose(int k) {
        p.ui([k](auto& c) { c.OnChannelK(k); });
    }

    TempRoot root;
    ProgramOnRack<dialrun::DialrunController> p;
};

// The bytes a board received after its survey (select, line status, stop mode, end).
std::vector<uint8_t> after_survey(const sim::Board& b) {
    return std::vector<uint8_t>(b.received().begin() + 4, b.received().end());
}

}  // namespace

TEST(DialrunUpload, RecordsTheHundredPhonemesInTheirOrderAndWritesRingRound) {
    std::string trace = temp_path("upload_trace.txt");
    DialrunUpload u("K2 line\n", trace);
    u.choose(2);
    EXPECT_EQ(u.press(Button::permit), "        Отключен\nзапрет записи Фонем !");
    u.p.clock.hold_at(u.p.clock.now());  // look at the form before the upload runs
    EXPECT_EQ(u.press(Button::upload), std::nullopt);
    EXPECT_EQ(u.p.controller->form().status_text, "Запись фонем прозвонки в канал K2");
    EXPECT_EQ(u.p.controller->state().upload_permit, 0);
    u.p.clock.release_hold();
    ASSERT_TRUE(u.p.controller->wait_idle(10s));

    const sim::Board& k2 = *u.p.rack->board(1);
    std::vector<uint8_t> expected{0x01, 0x53, 0x80, 0x64};
    expected.insert(expected.end(), 200, 0x64);
    expected.insert(expected.end(), {0x52, 0x02, 0xFF});
    EXPECT_EQ(after_survey(k2), expected);
    ASSERT_EQ(k2.sections().size(), 1u);
    const auto& files = dialrun::dialrun_upload().sections[0].files;
    ASSERT_EQ(k2.sections()[0].phonemes.size(), 100u);
    for (size_t i = 0; i < 100; ++i) {
        EXPECT_EQ(k2.sections()[0].phonemes[i].files, std::vector<std::string>{files[i].path}) << i;
        EXPECT_EQ(k2.sections()[0].phonemes[i].length, 400ms);
    }
    EXPECT_EQ(files[10].path, "c:/wav/Avtootvet1RU.wav");
    EXPECT_EQ(files[60].path, "C:/UZ/5.wav");
    EXPECT_EQ(files[60].log_line, "Write C:/UZ/5.wav");
    EXPECT_EQ(files[99].log_line, "c:/wav/Avtootvet1UZ.wav");
    EXPECT_TRUE(k2.anomalies().empty());
    EXPECT_EQ(u.p.controller->state().link_state, LINK_FREE);
    EXPECT_EQ(u.p.log().back(), "===Запись фонем завершена===");
    EXPECT_EQ(u.p.controller->form().status_text, " Ожидание старта или записи фонем в канал ");
    // 500 ms before each phoneme: from the closing reply of one to the opening byte of the next.
    std::vector<std::string> lines = file_lines(trace);
    int plays = 0;
    for (size_t i = 2; i < lines.size(); ++i) {
        if (lines[i].find(" play ") == std::string::npos) {
            continue;
        }
        ++plays;
        ASSERT_NE(lines[i - 2].find("> 64"), std::string::npos);
        if (plays > 1) {
            double opened = std::stod(lines[i - 2]);
            double previous_closed = std::stod(lines[i - 3]);
            EXPECT_NEAR(opened - previous_closed, 0.5, 0.0005) << lines[i - 2];
        }
    }
    EXPECT_EQ(plays, 100);
    std::remove(trace.c_str());
    // One permission, one upload.
    EXPECT_EQ(u.press(Button::upload), "Нет разрешения Записи! ");
}

TEST(DialrunUpload, ABoardThatFallsSilentEndsTheUploadWithoutAMode) {
    // Survey 4 bytes, select, reset, header 2: the opening byte of phoneme n is byte 9 + 2n.
    DialrunUpload u("K1 line silent-after=" + std::to_string(8 + 2 * 60) + "\n");
    u.choose(1);
    u.press(Button::permit);
    ASSERT_EQ(u.press(Button::upload), std::nullopt);
    ASSERT_TRUE(u.p.controller->wait_idle(10s));
    std::vector<std::string> log = u.p.log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
              (std::vector<std::string>{"Write C:/UZ/5.wav", "Тайм-Аут",
                                        "===Запись фонем завершена==="}));
    EXPECT_TRUE(u.p.rack->board(0)->modes_written().empty());
    EXPECT_EQ(u.p.rack->board(0)->sections()[0].phonemes.size(), 60u);
    EXPECT_EQ(u.p.controller->state().link_state, LINK_FREE);
}

TEST(DialrunUpload, RefusalsChangeNothing) {
    DialrunUpload u("K1 ring line\nK3 line\n");
    // The survey ended on K8, where there is no board.
    EXPECT_EQ(u.press(Button::upload), "Нет канала ! ");
    u.choose(3);
    EXPECT_EQ(u.press(Button::upload), "Нет разрешения Записи! ");
    u.press(Button::permit);
    u.choose(2);
    EXPECT_EQ(u.press(Button::upload), "Нет канала ! ");
    EXPECT_EQ(u.p.controller->state().upload_permit, 1) << "the permission stays given";

    // A file that cannot be played refuses the upload before any byte is sent.
    u.choose(3);
    std::filesystem::remove(u.root.path / "RU" / "5.wav");
    std::ofstream(u.root.path / "UZ" / "SUM.wav") << "not a wav";
    EXPECT_EQ(u.press(Button::upload),
              "Запись невозможна, не звучат файлы:\nC:/RU/5.wav: нет такого файла или папки\n"
              "c:/UZ/SUM.wav: не WAV-файл");
    EXPECT_EQ(u.p.rack->board(2)->received().size(), 4u);
    EXPECT_EQ(u.p.controller->state().upload_permit, 1);
    EXPECT_EQ(u.p.controller->state().link_state, LINK_FREE);

    // While one upload runs a second press is refused; so is everything else on the link.
    write_voice_prompts(DriveC(u.root.path), dialrun::dialrun_upload());
    Duration mid_upload = u.p.clock.now() + 5s;
    u.p.clock.hold_at(mid_upload);
    ASSERT_EQ(u.press(Button::upload), std::nullopt);
    ASSERT_TRUE(u.p.clock.wait_reached(mid_upload, 5s));
    EXPECT_EQ(u.press(Button::upload), "Запись запрещена! ");
    EXPECT_EQ(u.press(Button::check), "Запрещен контроль фонем ! ");
    EXPECT_EQ(u.press(Button::permit), "Запрещено ! ");
    EXPECT_EQ(u.press(Button::start), "Запрет старта ! ");
    u.choose(1);  // a click moves the selection, not the upload
    u.p.clock.release_hold();
    ASSERT_TRUE(u.p.controller->wait_idle(10s));
    EXPECT_EQ(u.p.rack->board(2)->sections()[0].phonemes.size(), 100u);
    EXPECT_EQ(u.p.rack->board(0)->received().size(), 4u);
    EXPECT_EQ(u.p.controller->state().table.current_channel, 0);
}

namespace {

template <typename C>
void check_phoneme_check(const char* end_line) {
    TempRoot root;
    ProgramOnRack<C> p("K4 ring line play-time=30\n", Setting{"", root.path.string()});
    p.controller->state().link_state = LINK_SURVEY;
    EXPECT_EQ(p.press(Button::check), "Запрещен контроль фонем ! ");
    p.start_and_survey();
    EXPECT_EQ(p.press(Button::check), "Нет канала ! ");
    p.ui([](auto& c) { c.OnChannelK(4); });
    Duration start = p.clock.now();
    p.clock.hold_at(start + 10s);
    // The box is answered at once, as an operator who presses OK early.
    EXPECT_EQ(p.press(Button::check),
              "           ВНИМАНИЕ !\nПозвонить,прослушать все фонемы\n     и нажать ОК! ");
    ASSERT_TRUE(p.clock.wait_reached(start + 10s, 5s));
    EXPECT_EQ(p.controller->state().link_state, LINK_CHECK);
    EXPECT_EQ(p.controller->form().status_text, " Контрольное прослушивание фонем канала K4");
    EXPECT_EQ(p.press(Button::check), "Запрещен контроль фонем ! ");
    p.clock.release_hold();
    ASSERT_TRUE(p.controller->wait_idle(10s));
    EXPECT_GE(p.clock.now() - start, 30s);
    EXPECT_EQ(p.controller->state().link_state, LINK_FREE);
    std::vector<std::string> log = p.log();
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
              (std::vector<std::string>{"----Контроль Фонем канала---", "Adrec K4", end_line}));
    EXPECT_EQ(after_survey(*p.rack->board(3)), (std::vector<uint8_t>{0x03, 0x99, 0xFF}));
}

}  // namespace

TEST(PhonemeCheck, EachProgramPlaysTheBoardBackAndEndsWithItsOwnLine) {
    check_phoneme_check<dialrun::DialrunController>("===Котроль Фонем завершен===");
    check_phoneme_check<pinread::PinreadController>("===Котроль Фонем завершен===");
    check_phoneme_check<inform::InformController>("===Контроль Фонем завершен===");
}

TEST(PhonemeCheck, TheWaitForABoardThatNeverFinishesIsBounded) {
    ProgramOnRack<inform::InformController> p(
        "K1 informer line play-time=3600\nK2 ring line silent-after=4\n");
    p.start_and_survey();
    p.ui([](auto& c) { c.OnChannelK(1); });
    Duration start = p.clock.now();
    p.press(Button::check);
    ASSERT_TRUE(p.controller->wait_idle(10s));
    EXPECT_GE(p.clock.now() - start, 10min);
    EXPECT_LT(p.clock.now() - start, 10min + 3s);
    std::vector<std::string> log = p.log();
    EXPECT_EQ(log[log.size() - 2], "Тайм-Аут");
    EXPECT_EQ(p.controller->state().link_state, LINK_FREE);

    // A board that does not answer its select: one line, then the normal end.
    p.ui([](auto& c) { c.OnChannelK(2); });
    p.press(Button::check);
    ASSERT_TRUE(p.controller->wait_idle(10s));
    log = p.log();
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
              (std::vector<std::string>{"Тайм-Аут", "===Контроль Фонем завершен==="}));
}
