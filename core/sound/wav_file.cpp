#include "sound/wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "base/system_reason.h"

namespace core {

namespace {

uint32_t le32(const char* p) {
    return static_cast<uint32_t>(static_cast<uint8_t>(p[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(p[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(p[3])) << 24;
}

uint16_t le16(const char* p) {
    return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}

void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

void put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

}  // namespace

std::string read_wav_info(const std::filesystem::path& file, WavInfo& info) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return system_reason(errno);
    }
    in.seekg(0, std::ios::end);
    const std::streamoff file_size = in.tellg();
    in.seekg(0, std::ios::beg);
    char riff[12];
    if (!in.read(riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return "не WAV-файл";
    }
    bool have_format = false;
    uint32_t byte_rate = 0;
    char header[8];
    while (in.read(header, 8)) {
        uint32_t size = le32(header + 4);
        if (std::memcmp(header, "fmt ", 4) == 0 && size >= 16 && size < 4096) {
            std::vector<char> fmt(size);
            if (!in.read(fmt.data(), size)) {
                break;
            }
            info.format = le16(&fmt[0]);
            info.channels = le16(&fmt[2]);
            info.sample_rate = le32(&fmt[4]);
            byte_rate = le32(&fmt[8]);
            info.bits = le16(&fmt[14]);
            have_format = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (!have_format || byte_rate == 0 || info.channels == 0) {
                return "испорченный заголовок WAV";
            }
            // A file cut short plays what it holds, not what its header promises.
            std::streamoff left = file_size - in.tellg();
            if (left < static_cast<std::streamoff>(size)) {
                size = static_cast<uint32_t>(std::max<std::streamoff>(left, 0));
            }
            info.data_bytes = size;
            info.length = Duration(static_cast<int64_t>(size) * 1000000 / byte_rate);
            return size == 0 ? "в файле нет звука" : "";
        } else {
            in.seekg(size + (size & 1), std::ios::cur);  // chunks are padded to even sizes
        }
    }
    return have_format ? "в файле нет звука" : "испорченный заголовок WAV";
}

std::string wav_bytes(uint32_t sample_rate, const std::vector<int16_t>& samples) {
    std::string out = "RIFF";
    uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    put32(out, 36 + data);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1);
    put16(out, 1);
    put32(out, sample_rate);
    put32(out, sample_rate * 2);
    put16(out, 2);
    put16(out, 16);
    out += "data";
    put32(out, data);
    for (int16_t s : samples) {
        put16(out, static_cast<uint16_t>(s));
    }
    return out;
}

}  // namespace core
