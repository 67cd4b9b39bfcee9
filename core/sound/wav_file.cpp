#include "sound/wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/system_reason.h"
#include "files/regular_file.h"

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

// Reads chunk after chunk to the "data" chunk. A chunk's size is only a number in the file:
// each step is checked against the file's own size, so that no header makes it read on.
std::string read_wav_header(std::FILE* in, WavInfo& info) {
    if (std::fseek(in, 0, SEEK_END) != 0) {
        return system_reason(errno);
    }
    const long long file_size = std::ftell(in);
    if (file_size < 0 || std::fseek(in, 0, SEEK_SET) != 0) {
        return system_reason(errno);
    }
    char riff[12];
    if (std::fread(riff, 1, 12, in) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return std::ferror(in) != 0 ? system_reason(errno) : "не WAV-файл";
    }
    bool have_format = false;
    uint32_t byte_rate = 0;
    char header[8];
    long long at = 12;
    while (at + 8 <= file_size && std::fread(header, 1, 8, in) == 8) {
        at += 8;
        uint32_t size = le32(header + 4);
        if (std::memcmp(header, "fmt ", 4) == 0 && size >= 16 && size < 4096) {
            std::vector<char> fmt(size);
            if (std::fread(fmt.data(), 1, size, in) != size) {
                break;
            }
            at += size;
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
            long long left = file_size - at;
            if (left < static_cast<long long>(size)) {
                size = static_cast<uint32_t>(std::max<long long>(left, 0));
            }
            info.data_bytes = size;
            info.length = Duration(static_cast<int64_t>(size) * 1000000 / byte_rate);
            return size == 0 ? "в файле нет звука" : "";
        } else {
            at += size + (size & 1);  // chunks are padded to even sizes
            if (at > file_size || std::fseek(in, static_cast<long>(at), SEEK_SET) != 0) {
                break;
            }
        }
    }
    if (std::ferror(in) != 0) {
        return system_reason(errno);
    }
    return have_format ? "в файле нет звука" : "испорченный заголовок WAV";
}

}  // namespace

std::string read_wav_info(const std::filesystem::path& file, WavInfo& info) {
    std::string error;
    std::FILE* in = open_regular(file, "rb", error);
    if (in == nullptr) {
        return error;
    }
    error = read_wav_header(in, info);
    if (std::fclose(in) != 0 && error.empty()) {
        error = system_reason(errno);
    }
    return error;
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
