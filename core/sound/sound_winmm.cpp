#include "sound/sound_winmm.h"

#include <windows.h>

#include <mmsystem.h>

#include "sound/wav_file.h"

namespace core {

namespace {

const char* const NO_OUTPUT = "нет устройства вывода звука";

}  // namespace

std::string WinmmSound::output_problem() {
    return waveOutGetNumDevs() == 0 ? NO_OUTPUT : std::string();
}

std::string WinmmSound::play(const std::filesystem::path& file, const std::string&) {
    std::lock_guard lock(mutex_);
    // PlaySound says only that it failed: what can be known is found out first.
    WavInfo info;
    std::string wrong = read_wav_info(file, info);
    if (!wrong.empty()) {
        return wrong;
    }
    if (waveOutGetNumDevs() == 0) {
        return NO_OUTPUT;
    }
    if (!PlaySoundW(file.wstring().c_str(), nullptr, SND_FILENAME | SND_SYNC | SND_NODEFAULT)) {
        return "звук не проигран: устройство вывода не приняло файл";
    }
    return {};
}

}  // namespace core
