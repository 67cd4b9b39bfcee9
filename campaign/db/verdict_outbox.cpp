#include "campaign/db/verdict_outbox.h"

#include <sstream>

#include "files/durable_file.h"

namespace campaign {

namespace {

// Longer than any line of ours: a longer tail is not a torn line and is kept for a look.
constexpr long LONGEST_LINE = 128;

bool all_digits(const std::string& text) {
    return !text.empty() && text.size() <= 18 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string outbox_line(const SharedVerdict& v) {
    return v.record_id + "\t" + std::to_string(v.attempt) + "\t" + std::string(1, v.mark) + "\t" +
           v.local_time + "\t" + std::to_string(v.utc) + "\t" + std::to_string(v.channel) + "\t" +
           v.number + "\n";
}

namespace {

// "YYYY-MM-DD hh:mm:ss", as the results table keeps a verdict's local moment.
bool moment(const std::string& text) {
    const std::string shape = "dddd-dd-dd dd:dd:dd";
    if (text.size() != shape.size()) {
        return false;
    }
    for (size_t i = 0; i < shape.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool parse_outbox_line(const std::string& line, SharedVerdict& v) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) {
        fields.push_back(field);
    }
    if (fields.size() != 7 || !all_digits(fields[0]) || !all_digits(fields[1]) ||
        fields[2].size() != 1 || std::string("YZN").find(fields[2][0]) == std::string::npos ||
        !moment(fields[3]) || !all_digits(fields[4]) || !all_digits(fields[5]) ||
        fields[1].size() > 9 || fields[5].size() > 2 || fields[6].size() != 7 ||
        !all_digits(fields[6])) {
        return false;
    }
    v.record_id = fields[0];
    v.attempt = std::stoi(fields[1]);
    v.mark = fields[2][0];
    v.local_time = fields[3];
    v.utc = std::stoll(fields[4]);
    v.channel = std::stoi(fields[5]);
    v.number = fields[6];
    return true;
}

std::string VerdictOutbox::add(const SharedVerdict& verdict) {
    return core::append_lines(path_, outbox_line(verdict), LONGEST_LINE, mode_);
}

std::string VerdictOutbox::load(std::vector<SharedVerdict>& verdicts) const {
    verdicts.clear();
    std::error_code missing;
    if (!std::filesystem::exists(path_, missing)) {
        return "";
    }
    std::string error;
    std::string bytes = core::read_file_bytes(path_, error);
    if (!error.empty()) {
        return error;
    }
    std::istringstream in(bytes);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        SharedVerdict v;
        // Only a whole line counts: one a kill cut short never reached the database either,
        // and its record's log line and mark come after it.
        if (in.eof()) {
            break;
        }
        // A whole line that is not a verdict is not passed over: emptying the outbox after it
        // could lose one.
        if (!parse_outbox_line(line, v)) {
            verdicts.clear();
            return "строка " + std::to_string(number) + " - не результат звонка";
        }
        verdicts.push_back(v);
    }
    return "";
}

std::string VerdictOutbox::clear() {
    return core::replace_file(path_, "", mode_);
}

}  // namespace campaign
