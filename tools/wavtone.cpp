// wavtone: writes a short tone as a WAV file, for voice prompts where no speech synthesiser
// is installed.  wavtone FILE MILLISECONDS HERTZ

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/option_rows.h"
#include "base/plain_text.h"
#include "base/utf8_text.h"
#include "files/durable_file.h"
#include "files/regular_file.h"
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

const std::vector<core::OptionRow> OPTIONS = {{"--help", nullptr, "эта справка"}};

int usage_error(const std::string& why) {
    std::fprintf(stderr, "wavtone: %s\n%s", why.c_str(), USAGE);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> operands;
    core::OptionsRead read = core::read_command_line(
        OPTIONS, std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), true, operands);
    if (read.fault != core::OptionFault::none) {
        return usage_error("неверный параметр '" + read.argument + "'");
    }
    if (!read.found.empty()) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (operands.size() != 3) {
        return usage_error("нужно FILE MILLISECONDS HERTZ");
    }
    const int rate = 22050;
    long ms = 0;
    long hz = 0;
    if (!core::whole_number(operands[1], 1, 60000, ms) ||
        !core::whole_number(operands[2], 1, 10000, hz)) {
        return usage_error("длительность 1..60000 мс, частота 1..10000 Гц (целые числа), а не \"" +
                           operands[1] + "\" и \"" + operands[2] + "\"");
    }
    std::vector<int16_t> samples(static_cast<size_t>(rate * ms / 1000));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(
            8000 * std::sin(2 * 3.14159265358979323846 * static_cast<double>(hz) *
                            static_cast<double>(i) / rate));
    }
    // Written whole under another name and renamed: a tone cut short is no prompt. Only a
    // file is replaced so, never a device or a pipe that stands at that name (/dev/full).
    std::filesystem::path file = core::utf8_path(operands[0]);
    std::error_code ec;
    std::string error;
    if (std::filesystem::exists(std::filesystem::symlink_status(file, ec))) {
        error = core::regular_file_refusal(file);
    }
    if (error.empty()) {
        error = core::replace_file(file, core::wav_bytes(rate, samples));
    }
    if (!error.empty()) {
        std::fprintf(stderr, "wavtone: файл не записан: %s: %s\n", operands[0].c_str(),
                     error.c_str());
        return 2;
    }
    return 0;
}
