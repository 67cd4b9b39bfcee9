#include "campaign/attempts.h"

#include <cinttypes>
#include <cstdio>
#include <sstream>

#include "base/utf8_text.h"
#include "campaign/subscriber_list.h"
#include "files/durable_file.h"

namespace campaign {

namespace {

bool seven_digits(const std::string& text) {
    if (text.size() != 7) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// What a torn entry leaves: digits and blanks only.
bool entry_piece(const std::string& line) {
    for (char c : line) {
        if ((c < '0' || c > '9') && c != ' ' && c != '\r') {
            return false;
        }
    }
    return true;
}

}  // namespace

Attempts Attempts::parse(const std::string& text, std::string* fault) {
    Attempts attempts;
    std::istringstream lines(text);
    std::string line;
    // Only a last line without its line feed was torn by a kill; a whole line that lost its
    // CR to an editor still counts its calls, or the cap would not hold.
    size_t whole = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
    size_t taken = 0;
    int number_of_line = 0;
    auto not_entry = [&] {
        if (fault != nullptr && fault->empty()) {
            *fault = "строка " + std::to_string(number_of_line) + ": не запись попыток";
        }
    };
    while (std::getline(lines, line)) {
        taken += line.size() + 1;
        ++number_of_line;
        if (taken > whole) {
            if (!entry_piece(line)) {
                not_entry();
            }
            break;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::istringstream fields(line);
        int position = 0;
        std::string number;
        Attempt attempt;
        std::string rest;
        if (fields >> position >> number >> attempt.count >> attempt.last_call &&
            !(fields >> rest) && position > 0 && seven_digits(number) && attempt.count >= 0) {
            attempts.entries_[position] = {number, attempt, ++attempts.written_};
        } else if (!entry_piece(line)) {
            not_entry();
        }
    }
    return attempts;
}

Attempt Attempts::of(int position, const std::string& number) const {
    auto at = entries_.find(position);
    if (at == entries_.end() || at->second.number != number.substr(0, 7)) {
        return {};
    }
    return at->second.attempt;
}

void Attempts::set(int position, const std::string& number, const Attempt& attempt) {
    entries_[position] = {number.substr(0, 7), attempt, ++written_};
}

Attempts Attempts::matched_to(const std::vector<std::string>& numbers, int& unmatched) const {
    std::map<std::string, int> places;  // number: its position, or 0 when it has several
    for (size_t i = 0; i < numbers.size(); ++i) {
        auto [at, fresh] = places.emplace(numbers[i], static_cast<int>(i + 1));
        if (!fresh) {
            at->second = 0;
        }
    }
    Attempts matched;
    matched.written_ = written_;
    unmatched = 0;
    for (const auto& [position, entry] : entries_) {
        int place = position;
        if (position > static_cast<int>(numbers.size()) || numbers[position - 1] != entry.number) {
            auto found = places.find(entry.number);
            place = found == places.end() ? 0 : found->second;
        }
        if (place == 0) {
            ++unmatched;
            continue;
        }
        // An entry left at a record's old place after its count went on at the new one.
        auto [at, fresh] = matched.entries_.emplace(place, entry);
        if (!fresh && entry.order > at->second.order) {
            at->second = entry;
        }
    }
    return matched;
}

std::vector<std::string> list_numbers(const std::string& list_bytes) {
    std::vector<std::string> numbers;
    for (size_t start : campaign::review_list(list_bytes).record_starts) {
        numbers.push_back(list_bytes.substr(start, 7));
    }
    return numbers;
}

std::string unmatched_text(int count) {
    // The genitive after a count: "1 записи", "21 записи", but "2 записей", "11 записей".
    bool one = count % 10 == 1 && count % 100 != 11;
    return "попытки " + std::to_string(count) + (one ? " записи" : " записей") +
           " не найдены в списке";
}

std::string Attempts::text() const {
    std::string text;
    for (const auto& [position, entry] : entries_) {
        text += attempt_line(position, entry.number, entry.attempt);
    }
    return text;
}

std::filesystem::path attempts_path(const std::filesystem::path& list) {
    return list.parent_path() / core::utf8_path(core::path_utf8(list.filename()) + ".attempts");
}

std::string attempt_line(int position, const std::string& number, const Attempt& attempt) {
    char line[80];
    std::snprintf(line, sizeof line, "%d %s %d %" PRId64 "\r\n", position,
                  number.substr(0, 7).c_str(), attempt.count, attempt.last_call);
    return line;
}

std::string append_attempts(const std::filesystem::path& file, const std::string& lines,
                            unsigned mode) {
    // Locked as the logs are: ringlist and Dialrun never write it at once.
    return core::append_lines(file, lines, 80, mode);
}

Attempts read_attempts(const std::filesystem::path& list, std::string& error) {
    std::filesystem::path file = attempts_path(list);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec) && !ec) {
        return {};  // a link that leads nowhere is read, and refused with its reason
    }
    std::string text = core::read_file_bytes(file, error);
    return Attempts::parse(text, error.empty() ? &error : nullptr);
}

}  // namespace campaign
