#include <gtest/gtest.h>

#include <fstream>

#include "files/drive_paths.h"
#include "support/temp_root.h"

namespace fs = std::filesystem;

TEST(DriveC, ResolvesFixedPathsUnderTheRootIgnoringLetterCase) {
    fs::path root = fs::path(temp_path("drive_c_test"));
    fs::remove_all(root);
    fs::create_directories(root / "WAV");
    fs::create_directories(root / "Time");
    std::ofstream(root / "WAV" / "Avtootvet1RU.wav") << "x";
    std::ofstream(root / "ring.txt") << "x";
    core::DriveC c(root);

    // Existing entries are found whatever the spelling (on Windows the system itself does
    // it, and the spelling asked for names the same file).
    auto same_file = [](const fs::path& a, const fs::path& b) {
        std::error_code ec;
        return fs::equivalent(a, b, ec);
    };
    EXPECT_TRUE(same_file(c.resolve("c:/wav/Avtootvet1RU.wav"), root / "WAV" / "Avtootvet1RU.wav"));
    EXPECT_TRUE(same_file(c.resolve("C:/wav/avtootvet1ru.WAV"), root / "WAV" / "Avtootvet1RU.wav"));
    EXPECT_TRUE(same_file(c.resolve("c:\\Ring.TXT"), root / "ring.txt"));
    EXPECT_TRUE(same_file(c.resolve("c:/TIME/01DU.wav").parent_path(), root / "Time"));
    EXPECT_EQ(c.resolve("c:/TIME/01DU.wav").filename(), "01DU.wav");
    // Missing files keep the documented spelling, so they are created with it.
    EXPECT_EQ(c.resolve("C:\\RINGY.txt"), root / "RINGY.txt");
    EXPECT_TRUE(same_file(c.resolve("C:/wav/0.wav").parent_path(), root / "WAV"));
    EXPECT_EQ(c.resolve("C:/wav/0.wav").filename(), "0.wav");
    EXPECT_EQ(c.resolve("C:/UZ//5.wav"), root / "UZ" / "5.wav");
    fs::remove_all(root);
}
