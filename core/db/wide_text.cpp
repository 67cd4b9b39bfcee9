#include "db/wide_text.h"

namespace core {

namespace {

// The length of the sequence a lead byte starts, and its payload bits; 0 for a byte that
// cannot lead one.
int sequence_length(unsigned char lead, char32_t& bits) {
    if (lead < 0x80) {
        bits = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0 && lead >= 0xC2) {
        bits = lead & 0x1F;
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        bits = lead & 0x0F;
        return 3;
    }
    if ((lead & 0xF8) == 0xF0 && lead <= 0xF4) {
        bits = lead & 0x07;
        return 4;
    }
    return 0;
}

// Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
bool valid_code_point(char32_t point, int length) {
    static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    return point >= least[length] && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
}

void append_utf8(char32_t point, std::string& text) {
    if (point < 0x80) {
        text += static_cast<char>(point);
    } else if (point < 0x800) {
        text += static_cast<char>(0xC0 | (point >> 6));
        text += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        text += static_cast<char>(0xE0 | (point >> 12));
        text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (point >> 18));
        text += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (point & 0x3F));
    }
}

}  // namespace

bool utf8_to_utf16(const std::string& text, std::u16string& wide) {
    wide.clear();
    for (size_t at = 0; at < text.size();) {
        char32_t point = 0;
        int length = sequence_length(static_cast<unsigned char>(text[at]), point);
        if (length == 0 || at + length > text.size()) {
            return false;
        }
        for (int k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[at + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            point = (point << 6) | (next & 0x3F);
        }
        if (!valid_code_point(point, length)) {
            return false;
        }
        if (point >= 0x10000) {
            point -= 0x10000;
            wide += static_cast<char16_t>(0xD800 + (point >> 10));
            wide += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
        } else {
            wide += static_cast<char16_t>(point);
        }
        at += length;
    }
    return true;
}

std::string utf16_to_utf8(const std::u16string& wide) {
    std::string text;
    for (size_t at = 0; at < wide.size(); ++at) {
        char32_t point = wide[at];
        bool high = point >= 0xD800 && point <= 0xDBFF;
        if (high && at + 1 < wide.size() && wide[at + 1] >= 0xDC00 && wide[at + 1] <= 0xDFFF) {
            point = 0x10000 + ((point - 0xD800) << 10) + (wide[at + 1] - 0xDC00);
            ++at;
        } else if (point >= 0xD800 && point <= 0xDFFF) {
            point = 0xFFFD;  // a lone half of a pair: the replacement character, not a torn byte
        }
        append_utf8(point, text);
    }
    return text;
}

}  // namespace core
