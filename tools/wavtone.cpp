// wavtone: writes a short tone as a WAV file, for voice prompts where no speech synthesiser
// is installed.  wavtone FILE MILLISECONDS HERTZ

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "sound/wav_file.h"

namespace {

const char* const USAGE =
    "Использование: wavtone FILE MILLISECONDS HERTZ\n"
    "\n"
    "Записывает тон в WAV-файл (моно, 16 бит, 22050 Гц): голосовые фонемы для проверки\n"
    "загрузки там, где нет синтезатора речи.\n"
    "\n"
    "  FILE          файл, который будет создан\n"
    "  MILLISECONDS  длительность, 1..60000 мс\n"
    "  HERTZ         частота, 1..10000 Гц\n"
    "  --help        эта справка\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (argc != 4) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const int rate = 22050;
    long ms = std::atol(argv[2]);
    double hz = std::atof(argv[3]);
    if (ms <= 0 || ms > 60000 || hz <= 0 || hz > 10000) {
        std::fputs("wavtone: длительность 1..60000 мс, частота 1..10000 Гц\n", stderr);
        return 2;
    }
    std::vector<int16_t> samples(static_cast<size_t>(rate * ms / 1000));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] =
            static_cast<int16_t>(8000 * std::sin(2 * 3.14159265358979323846 * hz * i / rate));
    }
    std::ofstream(argv[1], std::ios::binary) << core::wav_bytes(rate, samples);
    return 0;
}
