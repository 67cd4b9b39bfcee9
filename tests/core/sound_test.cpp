#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "sound/sound_sdl.h"
#include "sound/wav_file.h"
#include "support/temp_root.h"

using namespace core;
using namespace std::chrono_literals;

TEST(WavFile, TellsHowLongAFilePlaysAndWhatIsWrongWithOthers) {
    TempRoot root;
    root.write("tone.wav", wav_bytes(8000, std::vector<int16_t>(12000, 100)));
    WavInfo info;
    EXPECT_EQ(read_wav_info(root.path / "tone.wav", info), "");
    EXPECT_EQ(info.length, 1500ms);
    EXPECT_EQ(info.channels, 1);
    root.write("text.wav", "hello, not a wave file at all");
    EXPECT_EQ(read_wav_info(root.path / "text.wav", info), "не WAV-файл");
    root.write("empty.wav", wav_bytes(8000, {}));
    EXPECT_EQ(read_wav_info(root.path / "empty.wav", info), "в файле нет звука");
    root.write("cut.wav", wav_bytes(8000, std::vector<int16_t>(100, 1)).substr(0, 30));
    EXPECT_EQ(read_wav_info(root.path / "cut.wav", info), "испорченный заголовок WAV");
    EXPECT_EQ(read_wav_info(root.path / "none.wav", info), "нет такого файла или папки");
}

TEST(SdlSound, PlaysAFileForItsLength) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    TempRoot root;
    root.write("tone.wav", wav_bytes(22050, std::vector<int16_t>(22050, 0)));  // 1 s
    SdlSound sound;
    ASSERT_EQ(sound.output_problem(), "");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sound.play(root.path / "tone.wav", "C:/wav/0.wav"), "");
    auto took = std::chrono::steady_clock::now() - start;
    // Played to its end, not just handed over; a busy machine may take longer, never less.
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 10s) << "a second of sound must not hang the upload";
    root.write("bad.wav", "RIFF....WAVEjunk");
    EXPECT_NE(sound.play(root.path / "bad.wav", "C:/wav/1.wav"), "");
}
