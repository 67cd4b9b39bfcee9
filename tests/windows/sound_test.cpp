// winmm behind the programs' Sound: what it says without an output device and of a bad file.
// The play path itself is proven on the simulated rack, which records what is played.

#include <gtest/gtest.h>

#include <windows.h>

#include <mmsystem.h>

#include "dialrun/dialrun_controller.h"
#include "dialrun/dialrun_upload.h"
#include "sound/sound_winmm.h"
#include "support/program_fixture.h"
#include "support/temp_root.h"
#include "support/voice_prompts.h"

using namespace core;
using namespace station;
using namespace std::chrono_literals;

TEST(WinmmSound, WithoutAnOutputDeviceAnUploadIsRefusedBeforeItsFirstByte) {
    if (waveOutGetNumDevs() > 0) {
        GTEST_SKIP() << "this machine has a sound output";
    }
    WinmmSound sound;
    EXPECT_EQ(sound.output_problem(), "нет устройства вывода звука");
    TempRoot root;
    write_voice_prompts(DriveC(root.path), dialrun::dialrun_upload());
    ProgramOnRack<dialrun::DialrunController> p("K1 ring line\n", Setting{"", root.path.string()});
    dialrun::DialrunController controller(*p.link, p.clock, DriveC(root.path), sound);
    controller.start(p.front_end, "");
    ASSERT_TRUE(controller.wait_idle(10s));
    std::optional<std::string> box;
    {
        std::lock_guard lock(p.front_end.ui_mutex);
        controller.OnChannelK(1);
        controller.press(Button::permit);
        box = controller.press(Button::upload);
    }
    EXPECT_EQ(box, "Нет вывода звука: нет устройства вывода звука");
    EXPECT_EQ(p.rack->board(0)->received().size(), 4u) << "the survey's bytes only";
    EXPECT_EQ(controller.state().link_state, LINK_FREE);
    controller.close();
}

TEST(WinmmSound, SaysInRussianWhatIsWrongWithAFile) {
    TempRoot root;
    root.write("text.wav", "hello, not a wave file at all");
    WinmmSound sound;
    EXPECT_EQ(sound.play(root.path / "text.wav", "C:/wav/0.wav"), "не WAV-файл");
    EXPECT_EQ(sound.play(root.path / "none.wav", "C:/wav/1.wav"), "нет такого файла или папки");
}
