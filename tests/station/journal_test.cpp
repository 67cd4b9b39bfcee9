#include "state/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/durable_file.h"
#include "state/log_box.h"
#include "support/temp_root.h"
#include "time/virtual_clock.h"

namespace {

using namespace std::chrono_literals;

// A night's lines over midnight: every line kept in order and in its day's file, the polls of
// a minute summed up per channel, a received code masked, and the box's clearing not felt.
TEST(Journal, KeepsEveryLineInItsDaySumsUpThePollsAndMasksCodes) {
    std::filesystem::path folder = temp_path("journal");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    core::LocalTime start;
    ASSERT_TRUE(core::parse_local_time("2026-12-09T23:59:50", start));
    core::VirtualClock clock(start);
    {
        station::Journal journal(folder, "pinread", clock,
                                 {{"К=", "Adres K", "Ожд.Ring"}, {"Play wav N"}}, 0640);
        station::LogBox box;
        box.set_journal(&journal);
        journal.write("settings", "reconnect = 0   (по умолчанию)");
        box.add("Start K1");
        for (int pass = 0; pass < 2; ++pass) {
            for (const char* k : {"1", "2"}) {
                box.add(std::string("К=") + k);
                box.add(std::string("Adres K") + k);
                box.add_unselected("Ожд.Ring");
            }
        }
        box.add_unselected("Play wav N7");
        box.clear();
        journal.write("press", "stop");
        journal.write("box", "две\nстроки");
        clock.advance_to(clock.now() + 7s);  // 23:59:57
        box.add("Adres K2");
        // A line after the minute's last poll: the sums written after it are not stamped
        // before it.
        clock.advance_to(clock.now() + 2s);  // 23:59:59
        journal.write("status", "Ожидание завершения приема");
        clock.advance_to(clock.now() + 6s);  // 00:00:05, the next day
        box.add("Останов приема DTMF-кодов");
        box.add("Adres K1");
    }
    EXPECT_EQ(file_bytes(folder / "pinread-2026-12-09.log"),
              "2026-12-09 23:59:50\tsettings\treconnect = 0   (по умолчанию)\n"
              "2026-12-09 23:59:50\tlog\tStart K1\n"
              "2026-12-09 23:59:50\tlog\tPlay wav N*\n"
              "2026-12-09 23:59:50\tpress\tstop\n"
              "2026-12-09 23:59:50\tbox\tдве\\nстроки\n"
              "2026-12-09 23:59:59\tstatus\tОжидание завершения приема\n"
              "2026-12-09 23:59:59\tpoll\tK1 К=1 ×2, Adres K1 ×2, Ожд.Ring ×2; "
              "K2 К=2 ×2, Adres K2 ×3, Ожд.Ring ×2\n");
    EXPECT_EQ(file_bytes(folder / "pinread-2026-12-10.log"),
              "2026-12-10 00:00:05\tlog\tОстанов приема DTMF-кодов\n"
              "2026-12-10 00:00:05\tpoll\tK1 Adres K1 ×1\n");
#ifndef _WIN32
    EXPECT_EQ(core::file_mode(folder / "pinread-2026-12-10.log"), 0640u);
#endif
}

// With days to keep, each day's first line removes the program's files of older days, at
// start and at midnight; the files of other programs, other names and folders stay.
TEST(Journal, KeepsItsDaysAndRemovesOnlyItsOwnOlderFiles) {
    namespace fs = std::filesystem;
    fs::path folder = temp_path("journal_keep");
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const char* name : {"inform-2026-12-05.log", "inform-2026-12-01.log",
                             "inform-2026-11-30.log", "inform-2026-12-06.log.bak",
                             "inform-2026-12-0x.log", "pinread-2026-12-01.log", "notes.txt"}) {
        std::ofstream(folder / name) << "old\n";
    }
    fs::create_directories(folder / "inform-2026-12-02.log");
    fs::create_symlink(folder / "notes.txt", folder / "inform-2026-12-03.log");
    core::LocalTime start;
    ASSERT_TRUE(core::parse_local_time("2026-12-07T23:59:58", start));
    core::VirtualClock clock(start);
    auto names = [&] {
        std::vector<std::string> found;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            found.push_back(entry.path().filename().string());
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    {
        station::Journal journal(folder, "inform", clock, {}, 0640);
        journal.keep_days(3);  // 12-05, 12-06 and today
        journal.write("status", "старт");
        EXPECT_EQ(names(),
                  (std::vector<std::string>{"inform-2026-12-02.log", "inform-2026-12-03.log",
                                            "inform-2026-12-05.log", "inform-2026-12-06.log.bak",
                                            "inform-2026-12-07.log", "inform-2026-12-0x.log",
                                            "notes.txt", "pinread-2026-12-01.log"}));
        clock.advance_to(clock.now() + 3s);  // 00:00:01: 12-05 goes
        journal.write("status", "полночь");
        EXPECT_EQ(journal.take_error(), "");
    }
    EXPECT_EQ(names(),
              (std::vector<std::string>{"inform-2026-12-02.log", "inform-2026-12-03.log",
                                        "inform-2026-12-06.log.bak", "inform-2026-12-07.log",
                                        "inform-2026-12-08.log", "inform-2026-12-0x.log",
                                        "notes.txt", "pinread-2026-12-01.log"}));
    EXPECT_EQ(file_bytes(folder / "notes.txt"), "old\n");

    // Without days to keep, as before: nothing is removed.
    {
        station::Journal journal(folder, "inform", clock, {}, 0640);
        clock.advance_to(clock.now() + 24h * 30);
        journal.write("status", "месяц спустя");
    }
    EXPECT_EQ(names().size(), 9u);
    fs::remove_all(folder);
}

}  // namespace
