#include <cstdio>

#include "base/utf8_text.h"
#include "ringlist/report/report.h"

namespace ringlist {

namespace {

// One CSV field, quoted when it holds the separator, a quote or a line break.
std::string field(const std::string& text, char separator) {
    if (text.find_first_of(std::string(1, separator) + "\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string csv_row(const std::vector<std::string>& fields, char separator) {
    std::string row;
    for (size_t i = 0; i < fields.size(); ++i) {
        row += (i == 0 ? "" : std::string(1, separator)) + field(fields[i], separator);
    }
    return row + "\r\n";
}

// Excel takes a file as UTF-8 only with the byte-order mark.
std::string start_of_file(bool excel) {
    return excel ? "\xEF\xBB\xBF" : "";
}

std::string two(int v) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", v);
    return text;
}

}  // namespace

std::string records_csv(const std::vector<CampaignFolder>& folders, bool excel) {
    char sep = excel ? ';' : ',';
    // The attempts column only where Dialrun kept attempts: other reports stay as they were.
    bool attempts = false;
    for (const CampaignFolder& folder : folders) {
        attempts = attempts || folder.has_attempts;
    }
    std::vector<std::string> header{"папка", "номер", "сумма", "отметка"};
    if (attempts) {
        header.push_back("попыток");
    }
    std::string text = start_of_file(excel) + csv_row(header, sep);
    for (const CampaignFolder& folder : folders) {
        for (const ListRecord& r : folder.records) {
            std::string mark = r.mark == ' ' ? "" : std::string(1, r.mark);
            std::vector<std::string> fields{core::path_utf8(folder.dir), r.number,
                                            std::to_string(r.amount), mark};
            if (attempts) {
                fields.push_back(std::to_string(r.attempts));
            }
            text += csv_row(fields, sep);
        }
    }
    return text;
}

std::string results_csv(const std::vector<CampaignFolder>& folders, bool excel) {
    char sep = excel ? ';' : ',';
    std::string text = start_of_file(excel) +
                       csv_row({"папка", "номер", "день-месяц", "время", "результат", "дата"}, sep);
    for (const CampaignFolder& folder : folders) {
        for (const LogResult& r : folder.results) {
            const campaign::ResultLine& l = r.line;
            text += csv_row(
                {core::path_utf8(folder.dir), l.number, two(l.day) + "-" + two(l.month),
                 two(l.hour) + ":" + two(l.minute) + ":" + two(l.second), std::string(1, r.result),
                 two(l.day) + "-" + two(l.month) + "-" + std::to_string(r.year)},
                sep);
        }
    }
    return text;
}

}  // namespace ringlist
