#include "campaign/subscriber_list.h"

#include <algorithm>
#include <cerrno>

#include "base/system_reason.h"
#include "files/durable_file.h"
#include "files/regular_file.h"

namespace campaign {

namespace {

constexpr size_t LINE_LIMIT = 80;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// What is wrong with one line of the list, and at which column; an empty text when nothing is.
ListFault fault_of(const std::string& line, bool at_end_of_file) {
    int size = static_cast<int>(line.size());
    if (line.back() != '\n') {
        if (at_end_of_file) {
            return {0, size + 1,
                    "последняя запись оборвана: " + std::to_string(size) + " байт без CR LF"};
        }
        return {0, static_cast<int>(LINE_LIMIT), "строка длиннее 79 байт"};
    }
    if (size != RECORD_SIZE) {
        return {0, std::min(size, RECORD_SIZE + 1),
                "длина строки " + std::to_string(size) +
                    " байт, а нужно 20 (номер, сумма, отметка, CR LF)"};
    }
    if (line[RECORD_SIZE - 2] != '\r') {
        return {0, RECORD_SIZE - 1, "строка кончается LF без CR"};
    }
    for (int c = 0; c < 7; ++c) {
        if (!is_digit(line[c])) {
            return {0, c + 1, "в номере (позиции 1-7) не цифра в позиции " + std::to_string(c + 1)};
        }
    }
    for (int c = 9; c < 16; ++c) {
        if (!is_digit(line[c]) && line[c] != ' ') {
            return {
                0, c + 1,
                "в сумме (позиции 10-16) не цифра и не пробел в позиции " + std::to_string(c + 1)};
        }
    }
    return {};
}

bool is_list_end(const std::string& line) {
    return line.size() >= 2 && line[1] == '\n';
}

// The next line as the reader takes it: up to and including a line feed, at most 80 bytes.
std::string next_line(const std::string& bytes, size_t& at) {
    size_t end = std::min(bytes.size(), at + LINE_LIMIT);
    size_t feed = bytes.find('\n', at);
    if (feed != std::string::npos && feed < end) {
        end = feed + 1;
    }
    std::string line = bytes.substr(at, end - at);
    at = end;
    return line;
}

}  // namespace

char record_mark(const std::string& record) {
    return record.size() > MARK_COLUMN ? record[MARK_COLUMN] : ' ';
}

char mark_for_reply(uint8_t reply) {
    return reply == 1 ? 'Y' : reply == 2 ? 'Z' : 'N';
}

bool SubscriberList::open(const std::filesystem::path& path, std::string& error) {
    close();
    file_ = core::open_exclusive(path, "r+b", error);
    if (file_ == nullptr) {
        return false;
    }
    long length = std::fseek(file_, 0, SEEK_END) == 0 ? std::ftell(file_) : -1;
    if (length < 0 || std::fseek(file_, 0, SEEK_SET) != 0) {
        error = core::system_reason(errno);
    } else if (static_cast<std::uintmax_t>(length) > core::LARGEST_INPUT) {
        // Checked whole before a call: a list past the bound is not one to read into memory.
        error = core::TOO_LARGE;
    }
    if (!error.empty()) {
        close();
        return false;
    }
    list_length_ = length;
    list_offset_ = 0;
    list_ended_ = false;
    return true;
}

std::string SubscriberList::close() {
    std::string error;
    if (file_ != nullptr && std::fclose(file_) != 0) {
        error = core::system_reason(errno);
    }
    file_ = nullptr;
    return error;
}

bool SubscriberList::read_line(std::string& line) {
    line.clear();
    while (line.size() < LINE_LIMIT && list_offset_ < list_length_) {
        int c = std::fgetc(file_);
        if (c == EOF) {
            break;
        }
        ++list_offset_;
        line += static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    return !line.empty();
}

ListReview review_list(const std::string& bytes) {
    ListReview review;
    size_t at = 0;
    int number = 1;
    for (; at < bytes.size(); ++number) {
        size_t start = at;
        std::string line = next_line(bytes, at);
        if (is_list_end(line)) {
            review.end_line = number;
            break;
        }
        ListFault fault = fault_of(line, at >= bytes.size());
        if (fault.what.empty()) {
            review.record_starts.push_back(start);
            continue;
        }
        fault.line = number;
        review.faults.push_back(fault);
        // The rest of an overlong line is the same line, not the next one.
        size_t feed = bytes.find('\n', at);
        if (line.back() != '\n' && feed != std::string::npos) {
            at = feed + 1;
        } else if (line.back() != '\n') {
            at = bytes.size();
        }
    }
    if (review.end_line != 0) {
        while (at < bytes.size()) {
            next_line(bytes, at);
            ++review.lines_after_end;
        }
    }
    return review;
}

std::string fault_message(const ListFault& fault) {
    return "Ошибка в RING.TXT, строка " + std::to_string(fault.line) + ": " + fault.what;
}

std::string SubscriberList::read_whole(std::string& bytes) {
    bytes.assign(static_cast<size_t>(list_length_), '\0');
    std::string error;
    size_t got = 0;
    if (std::fseek(file_, 0, SEEK_SET) != 0) {
        error = core::system_reason(errno);
    } else if ((got = std::fread(bytes.data(), 1, bytes.size(), file_)) != bytes.size()) {
        // Shorter than it was at the start: cut by someone else, or a failed read.
        error = std::ferror(file_) != 0 ? core::system_reason(errno) : "файл стал короче";
    }
    bytes.resize(got);
    if (std::fseek(file_, list_offset_, SEEK_SET) != 0 && error.empty()) {
        error = core::system_reason(errno);
    }
    return error;
}

std::string SubscriberList::whole_list() {
    std::string bytes;
    read_whole(bytes);  // what could be read: a record cut off is not one to look at
    return bytes;
}

std::string SubscriberList::validate() {
    std::string bytes;
    std::string error = read_whole(bytes);
    if (!error.empty()) {
        return "Ошибка чтения RING.TXT: " + error;
    }
    ListReview review = review_list(bytes);
    if (std::fseek(file_, 0, SEEK_SET) != 0) {
        return "Ошибка чтения RING.TXT: " + core::system_reason(errno);
    }
    list_offset_ = 0;
    list_ended_ = false;
    return review.faults.empty() ? std::string() : fault_message(review.faults.front());
}

RecordKind SubscriberList::read_record() {
    std::string line;
    if (list_ended_ || !read_line(line) || is_list_end(line)) {
        list_ended_ = true;
        return LIST_END;
    }
    record_buffer_ = line;
    // The byte before CR LF: column 17 of a well-formed record.
    bool fresh = line.size() >= 3 && line[line.size() - 3] == ' ';
    return fresh ? FRESH_RECORD : MARKED_RECORD;
}

std::string SubscriberList::mark_record(long record_end, uint8_t reply) {
    char mark = mark_for_reply(reply);
    std::string error;
    if (std::fseek(file_, record_end - 3, SEEK_SET) != 0 || std::fputc(mark, file_) == EOF) {
        error = core::system_reason(errno);
    }
    if (error.empty()) {
        error = core::sync_to_disk(file_);
    }
    // Back where reading stands, or the next record read would be the wrong one.
    if (std::fseek(file_, list_offset_, SEEK_SET) != 0 && error.empty()) {
        error = core::system_reason(errno);
    }
    return error;
}

}  // namespace campaign
