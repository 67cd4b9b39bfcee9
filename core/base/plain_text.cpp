#include "base/plain_text.h"

#include <cstdlib>

namespace core {

bool whole_number(const std::string& value, long low, long high, long& number) {
    char* end = nullptr;
    number = std::strtol(value.c_str(), &end, 10);
    return !value.empty() && *end == 0 && number >= low && number <= high;
}

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string one_line(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace core
