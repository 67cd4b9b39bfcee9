#include "sim/rack_file.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "base/utf8_text.h"
#include "files/regular_file.h"

namespace sim {

namespace {

// Decimal or 0x-prefixed hexadecimal, within [low, high].
bool parse_int(const std::string& text, long low, long high, long& out) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    int base = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 16 : 10;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, base);
    if (errno != 0 || *end != 0 || text[0] == '-' || text[0] == '+' || v < low || v > high) {
        return false;
    }
    out = v;
    return true;
}

bool parse_seconds(const std::string& text, double& out) {
    if (text.empty() || text.size() > 16 || !(text[0] >= '0' && text[0] <= '9')) {
        return false;
    }
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != 0 || !std::isfinite(v) || v > 86400) {
        return false;
    }
    out = v;
    return true;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    if (!text.empty() && text.back() == separator) {
        parts.push_back("");
    }
    return parts;
}

bool parse_byte_list(const std::string& text, std::vector<uint8_t>& out) {
    std::vector<uint8_t> values;
    for (const std::string& part : split(text, ',')) {
        long v = 0;
        if (!parse_int(part, 0, 255, v)) {
            return false;
        }
        values.push_back(static_cast<uint8_t>(v));
    }
    if (values.empty()) {
        return false;
    }
    out = values;
    return true;
}

bool parse_codes(const std::string& text, std::vector<std::array<uint8_t, 4>>& out) {
    std::vector<std::array<uint8_t, 4>> codes;
    for (const std::string& part : split(text, ',')) {
        if (part.size() != 4) {
            return false;
        }
        std::array<uint8_t, 4> code{};
        for (int i = 0; i < 4; ++i) {
            if (part[i] < '0' || part[i] > '9') {
                return false;
            }
            code[i] = static_cast<uint8_t>(part[i] - '0');
        }
        codes.push_back(code);
    }
    if (codes.empty()) {
        return false;
    }
    out = codes;
    return true;
}

// Applies one "word" or "key=value" of a board line; returns what is wrong, or "".
std::string apply_word(const std::string& word, BoardSetup& b, bool& mode_set, bool& line_set) {
    static const struct {
        const char* name;
        uint8_t mode;
    } modes[] = {{"informer", 0x10}, {"ring", 0x20}, {"time", 0x30}, {"dtmf", 0x40}};
    for (const auto& m : modes) {
        if (word == m.name) {
            if (mode_set) {
                return "режим задан дважды";
            }
            mode_set = true;
            b.mode = m.mode;
            return {};
        }
    }
    if (word == "line" || word == "noline") {
        if (line_set) {
            return "линия задана дважды";
        }
        line_set = true;
        b.line = word == "line" ? 0x00 : 0x0C;
        return {};
    }
    size_t eq = word.find('=');
    if (eq == std::string::npos) {
        return "неизвестное слово '" + word + "'";
    }
    std::string key = word.substr(0, eq);
    std::string value = word.substr(eq + 1);
    std::string bad = "неверное значение '" + word + "'";
    long v = 0;
    if (key == "mode") {
        if (mode_set) {
            return "режим задан дважды";
        }
        if (!parse_int(value, 0, 0x70, v) || (v & ~0x70) != 0) {
            return bad + ": нужен код режима 0x00..0x70 (биты 4-6)";
        }
        mode_set = true;
        b.mode = static_cast<uint8_t>(v);
    } else if (key == "line") {
        if (line_set) {
            return "линия задана дважды";
        }
        if (!parse_int(value, 0, 255, v)) {
            return bad;
        }
        line_set = true;
        b.line = static_cast<uint8_t>(v);
    } else if (key == "busy" || key == "ring" || key == "phrase" || key == "silent-after" ||
               key == "late") {
        if (!parse_int(value, key == "late" ? 1 : 0, 1000000, v)) {
            return bad;
        }
        int n = static_cast<int>(v);
        if (key == "busy")
            b.busy = n;
        if (key == "ring")
            b.ring = n;
        if (key == "phrase")
            b.phrase = n;
        if (key == "silent-after")
            b.silent_after = n;
        if (key == "late")
            b.late = n;
    } else if (key == "dial") {
        if (value == "forever") {
            b.dial = DIAL_FOREVER;
        } else if (parse_int(value, 0, 1000000, v)) {
            b.dial = static_cast<int>(v);
        } else {
            return bad;
        }
    } else if (key == "echo") {
        if (!parse_int(value, 0, 7, v)) {
            return bad + ": нужен адрес 0..7";
        }
        b.echo = static_cast<int>(v);
    } else if (key == "results" || key == "messages") {
        if (!parse_byte_list(value, key == "results" ? b.results : b.messages)) {
            return bad + ": нужен список чисел 0..255 через запятую";
        }
    } else if (key == "codes") {
        if (!parse_codes(value, b.codes)) {
            return bad + ": нужны коды из четырех цифр через запятую";
        }
    } else if (key == "silent-between") {
        size_t comma = value.find(',');
        double from = 0;
        double to = 0;
        if (comma == std::string::npos || !parse_seconds(value.substr(0, comma), from) ||
            !parse_seconds(value.substr(comma + 1), to) || to <= from) {
            return bad + ": нужно \"от,до\" в секундах, до позже от";
        }
        b.silent_between = std::make_pair(from, to);
    } else if (key == "message-time" || key == "play-time") {
        double s = 0;
        if (!parse_seconds(value, s)) {
            return bad + ": нужно число секунд";
        }
        if (key == "message-time") {
            b.message_time = s;
        } else {
            b.play_time = s;
        }
    } else {
        return "неизвестный параметр '" + key + "'";
    }
    return {};
}

}  // namespace

RackParse parse_rack_text(const std::string& text, const std::string& file_name) {
    RackParse result;
    std::array<int, 8> defined_on{};
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string word;
        if (!(words >> word)) {
            continue;
        }
        auto fail = [&](const std::string& what) {
            result.error = file_name + ", строка " + std::to_string(number) + ": " + what;
            return result;
        };
        if (word.size() != 2 || (word[0] != 'K' && word[0] != 'k') || word[1] < '1' ||
            word[1] > '8') {
            return fail("строка должна начинаться с канала K1..K8, а не с '" + word + "'");
        }
        int address = word[1] - '1';
        if (defined_on[address] != 0) {
            return fail("канал K" + std::to_string(address + 1) + " уже описан в строке " +
                        std::to_string(defined_on[address]));
        }
        defined_on[address] = number;
        BoardSetup board;
        board.address = address;
        bool mode_set = false;
        bool line_set = false;
        while (words >> word) {
            std::string wrong = apply_word(word, board, mode_set, line_set);
            if (!wrong.empty()) {
                return fail(wrong);
            }
        }
        result.rack.boards[address] = board;
    }
    result.ok = true;
    return result;
}

RackParse load_rack_file(const std::string& path) {
    std::string error;
    std::string text =
        core::read_regular_file(core::utf8_path(path), error, core::LARGEST_SETTINGS);
    if (!error.empty()) {
        RackParse result;
        result.error = path + ": файл не открыт: " + error;
        return result;
    }
    return parse_rack_text(text, path);
}

}  // namespace sim
