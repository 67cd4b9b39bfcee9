#include "state/journal.h"

#include <gtest/gtest.h>

#include <filesystem>

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
        core::Journal journal(folder, "pinread", clock,
                              {{"К=", "Adres K", "Ожд.Ring"}, {"Play wav N"}}, 0640);
        core::LogBox box;
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
        clock.advance_to(clock.now() + 9s);  // 23:59:59
        box.add("Adres K2");
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
              "2026-12-09 23:59:59\tpoll\tK1 К=1 ×2, Adres K1 ×2, Ожд.Ring ×2; "
              "K2 К=2 ×2, Adres K2 ×3, Ожд.Ring ×2\n");
    EXPECT_EQ(file_bytes(folder / "pinread-2026-12-10.log"),
              "2026-12-10 00:00:05\tlog\tОстанов приема DTMF-кодов\n"
              "2026-12-10 00:00:05\tpoll\tK1 Adres K1 ×1\n");
#ifndef _WIN32
    EXPECT_EQ(core::file_mode(folder / "pinread-2026-12-10.log"), 0640u);
#endif
}

}  // namespace
