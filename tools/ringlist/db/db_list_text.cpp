#include "ringlist/db/db_list_text.h"

#include <cstdio>

namespace ringlist {

std::string to_hex(const std::string& bytes) {
    static const char DIGITS[] = "0123456789abcdef";
    std::string hex;
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        hex += DIGITS[byte >> 4];
        hex += DIGITS[byte & 15];
    }
    return hex;
}

namespace {

int digit_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : 0;
}

}  // namespace

std::string from_hex(const std::string& hex) {
    std::string bytes;
    for (size_t at = 0; at + 1 < hex.size(); at += 2) {
        bytes += static_cast<char>(digit_value(hex[at]) * 16 + digit_value(hex[at + 1]));
    }
    return bytes;
}

}  // namespace ringlist
