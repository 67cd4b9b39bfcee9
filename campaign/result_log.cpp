#include "campaign/result_log.h"

#include <cerrno>
#include <cstring>

#include "files/durable_file.h"

namespace campaign {

std::string result_log_line(const std::string& number, const core::LocalTime& now, char mark) {
    std::string line(70, ' ');
    line.replace(0, 7, number.substr(0, 7));
    line.replace(10, 14, core::format_local_time(now, "%d-%m %H:%M:%S"));
    line[25] = mark;
    line[68] = '\r';
    line[69] = '\n';
    return line;
}

namespace {

bool digits(const std::string& text, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

int two_digits(const std::string& text, size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

bool blanks(const std::string& text, size_t from, size_t to) {
    return text.find_first_not_of(' ', from) >= to;
}

}  // namespace

std::string parse_result_line(const std::string& text, ResultLine& line) {
    if (text.size() != 70 || text.compare(68, 2, "\r\n") != 0) {
        return "не строка журнала: " + std::to_string(text.size()) + " байт вместо 70 с CR LF";
    }
    if (!digits(text, 0, 7)) {
        return "в номере (позиции 1-7) не цифры";
    }
    // "dd-mm hh:mm:ss" from column 10.
    bool stamp = digits(text, 10, 2) && text[12] == '-' && digits(text, 13, 2) && text[15] == ' ' &&
                 digits(text, 16, 2) && text[18] == ':' && digits(text, 19, 2) && text[21] == ':' &&
                 digits(text, 22, 2);
    if (!stamp) {
        return "нет даты и времени в позициях 11-24";
    }
    ResultLine read;
    read.number = text.substr(0, 7);
    read.day = two_digits(text, 10);
    read.month = two_digits(text, 13);
    read.hour = two_digits(text, 16);
    read.minute = two_digits(text, 19);
    read.second = two_digits(text, 22);
    read.mark = text[25];
    if (read.day < 1 || read.day > 31 || read.month < 1 || read.month > 12 || read.hour > 23 ||
        read.minute > 59 || read.second > 60) {
        return "невозможные дата или время";
    }
    if (read.mark != ' ' && read.mark != 'Z' && read.mark != 'N') {
        return "в позиции 26 не пробел, не Z и не N";
    }
    if (!blanks(text, 7, 10) || text[24] != ' ' || !blanks(text, 26, 68)) {
        return "лишние знаки между полями";
    }
    line = read;
    return {};
}

std::string append_result_line(const std::filesystem::path& log, const std::string& line,
                               unsigned mode) {
    // A line torn by a kill is dropped: its record was never marked and is called again.
    return core::append_lines(log, line, 70, mode);
}

}  // namespace campaign
