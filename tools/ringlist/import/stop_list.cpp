#include "ringlist/import/stop_list.h"

#include <sstream>

#include "base/plain_text.h"
#include "base/utf8_text.h"
#include "files/durable_file.h"
#include "ringlist/import/csv_table.h"
#include "ringlist/import/number_rules.h"

namespace ringlist {

std::string read_stop_list(const std::filesystem::path& file,
                           const std::vector<std::string>& prefixes,
                           std::set<std::string>& numbers) {
    std::string label = "Стоп-лист " + core::path_utf8(file);
    std::string error;
    std::string bytes = core::read_file_bytes(file, error);
    if (!error.empty()) {
        return label + " не читается: " + error;
    }
    if (detect_encoding(bytes) == Encoding::cp1251) {
        bytes = cp1251_to_utf8(bytes);
    }
    std::istringstream lines(bytes);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
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
