#include "ringlist/import/stop_list.h"

#include "base/plain_text.h"
#include "base/utf8_text.h"
#include "files/regular_file.h"
#include "ringlist/import/csv_table.h"
#include "ringlist/import/number_rules.h"

namespace ringlist {

namespace {

// A stop list far past any city's numbers is not one.
constexpr std::uintmax_t STOP_LIST_LIMIT = 64u << 20;

// The lines of a text whose lines end in CR LF, LF or CR alone (an old Mac's export).
std::vector<std::string> text_lines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(at));
            break;
        }
        lines.push_back(bytes.substr(at, end - at));
        at = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

}  // namespace

std::string read_stop_list(const std::filesystem::path& file,
                           const std::vector<std::string>& prefixes,
                           std::set<std::string>& numbers) {
    std::string label = "Стоп-лист " + core::path_utf8(file);
    std::string error;
    std::string bytes = core::read_regular_file(file, error, STOP_LIST_LIMIT);
    if (!error.empty()) {
        return label + " не читается: " + error;
    }
    if (detect_encoding(bytes) == Encoding::cp1251) {
        bytes = cp1251_to_utf8(bytes);
    }
    int number = 0;
    for (const std::string& line : text_lines(bytes)) {
        ++number;
        std::string text = core::trimmed(line.substr(0, line.find('#')));
        if (number == 1 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            text = core::trimmed(text.substr(3));
        }
        if (text.empty()) {
            continue;
        }
        std::string digits;
        Reject reject = normalise_number(text, prefixes, digits);
        if (reject != Reject::none) {
            return label + ", строка " + std::to_string(number) + " \"" + text +
                   "\": " + reject_reason(reject);
        }
        numbers.insert(digits);
    }
    return {};
}

}  // namespace ringlist
