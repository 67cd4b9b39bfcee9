#include "subscriber_list.h"

#include "durable_file.h"

namespace dialrun {

namespace {

constexpr size_t LINE_LIMIT = 80;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// What is wrong with one line of the list, or "".
std::string fault_of(const std::string& line, bool at_end_of_file) {
    if (line.back() != '\n') {
        if (at_end_of_file) {
            return "последняя запись оборвана: " + std::to_string(line.size()) + " байт без CR LF";
        }
        return "строка длиннее 79 байт";
    }
    if (line.size() != RECORD_SIZE) {
        return "длина строки " + std::to_string(line.size()) +
               " байт, а нужно 20 (номер, сумма, отметка, CR LF)";
    }
    if (line[RECORD_SIZE - 2] != '\r') {
        return "строка кончается LF без CR";
    }
    for (int c = 0; c < 7; ++c) {
        if (!is_digit(line[c])) {
            return "в номере (позиции 1-7) не цифра в позиции " + std::to_string(c + 1);
        }
    }
    for (int c = 9; c < 16; ++c) {
        if (!is_digit(line[c]) && line[c] != ' ') {
            return "в сумме (позиции 10-16) не цифра и не пробел в позиции " +
                   std::to_string(c + 1);
        }
    }
    return {};
}

bool is_list_end(const std::string& line) {
    return line.size() >= 2 && line[1] == '\n';
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
    std::fseek(file_, 0, SEEK_END);
    list_length_ = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
    list_offset_ = 0;
    list_ended_ = false;
    return true;
}

void SubscriberList::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
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

std::string SubscriberList::validate() {
    std::string line;
    std::string fault;
    for (int number = 1; read_line(line); ++number) {
        if (is_list_end(line)) {
            break;
        }
        fault = fault_of(line, list_offset_ >= list_length_);
        if (!fault.empty()) {
            fault = "Ошибка в RING.TXT, строка " + std::to_string(number) + ": " + fault;
            break;
        }
    }
    std::fseek(file_, 0, SEEK_SET);
    list_offset_ = 0;
    list_ended_ = false;
    return fault;
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
        error = "запись не удалась";
    }
    if (error.empty()) {
        error = core::sync_to_disk(file_);
    }
    std::fseek(file_, list_offset_, SEEK_SET);
    return error;
}

}  // namespace dialrun
