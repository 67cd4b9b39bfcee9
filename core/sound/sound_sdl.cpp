#include "sound/sound_sdl.h"

#include <SDL.h>

#include <chrono>
#include <thread>

#include "sound/wav_file.h"

namespace core {

SdlSound::~SdlSound() {
    if (started_ && start_error_.empty()) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

std::string SdlSound::start_audio() {
    if (!started_) {
        started_ = true;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            start_error_ = SDL_GetError();
        }
    }
    return start_error_;
}

std::string SdlSound::output_problem() {
    std::lock_guard lock(mutex_);
    std::string error = start_audio();
    if (!error.empty()) {
        return error;
    }
    SDL_AudioSpec want{};
    want.freq = 22050;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = 1024;
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (device == 0) {
        return std::string("нет устройства вывода звука: ") + SDL_GetError();
    }
    SDL_CloseAudioDevice(device);
    return {};
}

namespace {

int64_t length_bytes_to_us(Uint32 bytes, int frame_bytes, int rate) {
    if (frame_bytes <= 0 || rate <= 0) {
        return 0;
    }
    return static_cast<int64_t>(bytes) / frame_bytes * 1000000 / rate;
}

}  // namespace

std::string SdlSound::play(const std::filesystem::path& file, const std::string&) {
    std::lock_guard lock(mutex_);
    std::string error = start_audio();
    if (!error.empty()) {
        return error;
    }
    // SDL would wait on a FIFO and read a device for ever: what can be known is found out first.
    WavInfo info;
    error = read_wav_info(file, info);
    if (!error.empty()) {
        return error;
    }
    SDL_AudioSpec setup{};
    Uint8* samples = nullptr;
    Uint32 bytes = 0;
    if (SDL_LoadWAV(file.string().c_str(), &setup, &samples, &bytes) == nullptr) {
        return SDL_GetError();
    }
    setup.samples = 512;  // a short device buffer: the end of the file is heard on time
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &setup, nullptr, 0);
    if (device == 0) {
        error = SDL_GetError();
        SDL_FreeWAV(samples);
        return error;
    }
    int frame_bytes = SDL_AUDIO_BITSIZE(setup.format) / 8 * setup.channels;
    auto duration = std::chrono::microseconds(length_bytes_to_us(bytes, frame_bytes, setup.freq));
    SDL_QueueAudio(device, samples, bytes);
    auto started = std::chrono::steady_clock::now();
    SDL_PauseAudioDevice(device, 0);
    while (SDL_GetQueuedAudioSize(device) > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // What the device has taken last still has to sound: the file lasts as long as it lasts.
    std::this_thread::sleep_until(started + duration);
    SDL_CloseAudioDevice(device);
    SDL_FreeWAV(samples);
    return {};
}

}  // namespace core
