#include "ringlist/campaign_folder.h"

#include <sys/stat.h>

#include <ctime>

#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "files/drive_paths.h"
#include "files/durable_file.h"
#include "ringlist/plural.h"

namespace ringlist {

long long record_amount(std::string_view record) {
    long long amount = 0;
    size_t c = 9;
    while (c < 16 && record[c] == ' ') {
        ++c;
    }
    for (; c < 16; ++c) {
        amount = amount * 10 + (record[c] == ' ' ? 0 : record[c] - '0');
    }
    return amount;
}

std::vector<ListRecord> list_records(const std::string& bytes, const campaign::ListReview& review) {
    std::vector<ListRecord> records;
    records.reserve(review.record_starts.size());
    for (size_t start : review.record_starts) {
        std::string text = bytes.substr(start, campaign::RECORD_SIZE);
        records.push_back(
            {text.substr(0, 7), record_amount(text), campaign::record_mark(text), start});
    }
    return records;
}

namespace {

// A line of the log whose text was read: its verdict, or a problem.
void take_line(const std::string& text, const std::string& label, char kind, int number, int& year,
               int& last_month, std::vector<LogResult>& results,
               std::vector<LogProblem>& problems) {
    campaign::ResultLine line;
    std::string fault = campaign::parse_result_line(text, line);
    if (fault.empty() && (kind == 'Y') != (line.mark == ' ')) {
        fault = "строка другого журнала (отметка \"" + std::string(1, line.mark) + "\")";
    }
    if (!fault.empty()) {
        problems.push_back({label, number, fault});
        return;
    }
    // Merged logs hold the parts one after another, so a month may step back within a season;
    // only a step back of more than six months (December to January) starts a new year. A step
    // forward keeps the year: campaigns months apart in one log.
    if (last_month != 0 && line.month + 6 < last_month) {
        ++year;
    }
    last_month = line.month;
    results.push_back({line, kind == 'Y' ? 'Y' : line.mark, year});
}

void read_lines(const std::string& bytes, const std::string& label, char kind,
                std::vector<LogResult>& results, std::vector<LogProblem>& problems) {
    int year = 0;
    int last_month = 0;
    size_t at = 0;
    for (int number = 1; at < bytes.size(); ++number) {
        size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) {
            problems.push_back({label, number,
                                "оборванная последняя строка: " +
                                    plural(static_cast<long long>(bytes.size() - at), "байт") +
                                    " без CR LF"});
            return;
        }
        std::string text = bytes.substr(at, end + 2 - at);
        at = end + 2;
        // A line torn by a crash, then a whole one appended after the restart.
        if (text.size() > 70) {
            campaign::ResultLine whole;
            if (campaign::parse_result_line(text.substr(text.size() - 70), whole).empty()) {
                problems.push_back({label, number,
                                    "оборванная строка: " +
                                        plural(static_cast<long long>(text.size() - 70), "байт") +
                                        " перед целой строкой"});
                text = text.substr(text.size() - 70);
            }
        }
        take_line(text, label, kind, number, year, last_month, results, problems);
    }
}

}  // namespace

std::string fault_place(const campaign::ListFault& fault) {
    return "строка " + std::to_string(fault.line) + ", позиция " + std::to_string(fault.column) +
           ": " + fault.what;
}

void read_log(const std::string& bytes, const std::string& label, char kind,
              const core::LocalTime& changed_at, std::vector<LogResult>& results,
              std::vector<LogProblem>& problems) {
    const size_t first = results.size();
    read_lines(bytes, label, kind, results, problems);
    if (results.size() == first) {
        return;
    }
    const campaign::ResultLine& last = results.back().line;
    bool after_the_write = last.month > changed_at.month ||
                           (last.month == changed_at.month && last.day > changed_at.day);
    int shift = changed_at.year - (after_the_write ? 1 : 0) - results.back().year;
    for (size_t i = first; i < results.size(); ++i) {
        results[i].year += shift;
    }
}

core::LocalTime last_written(const std::filesystem::path& path) {
    std::time_t when = std::time(nullptr);
#ifdef _WIN32
    struct _stat64 info {};
    if (_wstat64(path.wstring().c_str(), &info) == 0) {
        when = static_cast<std::time_t>(info.st_mtime);
    }
#else
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        when = info.st_mtime;
    }
#endif
    return core::local_time_at(when);
}

std::string read_folder(const std::filesystem::path& dir, CampaignFolder& folder) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        return "Нет папки " + core::path_utf8(dir);
    }
    core::DriveC drive(dir);
    folder.dir = dir;
    folder.list_path = drive.resolve("c:\\Ring.TXT");
    std::string error;
    folder.list_bytes = core::read_file_bytes(folder.list_path, error);
    if (!error.empty()) {
        return "Нет файла " + core::path_utf8(folder.list_path) + ": " + error;
    }
    folder.review = campaign::review_list(folder.list_bytes);
    folder.records = list_records(folder.list_bytes, folder.review);
    folder.has_attempts = std::filesystem::exists(campaign::attempts_path(folder.list_path), ec);
    campaign::Attempts read = campaign::read_attempts(folder.list_path, error);
    if (!error.empty()) {
        return "Файл попыток " + core::path_utf8(campaign::attempts_path(folder.list_path)) +
               " не читается: " + error;
    }
    // As Dialrun takes them: a record moved by a hand edit keeps its count.
    std::vector<std::string> numbers;
    for (const ListRecord& r : folder.records) {
        numbers.push_back(r.number);
    }
    campaign::Attempts attempts = read.matched_to(numbers, folder.attempts_unmatched);
    for (size_t i = 0; i < folder.records.size(); ++i) {
        ListRecord& r = folder.records[i];
        r.attempts = attempts.of(static_cast<int>(i + 1), r.number).count;
    }
    const std::pair<const char*, char> logs[] = {{campaign::NOTIFIED_LOG, 'Y'},
                                                 {campaign::NOT_NOTIFIED_LOG, 'N'}};
    for (const auto& [name, kind] : logs) {
        std::filesystem::path path = drive.resolve(name);
        if (!std::filesystem::exists(path, ec) && !ec) {
            continue;  // no result of that kind yet (a link that leads nowhere is said)
        }
        std::string bytes = core::read_file_bytes(path, error);
        if (!error.empty()) {
            return "Журнал " + core::path_utf8(path) + " не читается: " + error;
        }
        read_log(bytes, core::path_utf8(path.filename()), kind, last_written(path), folder.results,
                 folder.log_problems);
        (kind == 'Y' ? folder.notified_bytes : folder.not_notified_bytes) = bytes;
    }
    return {};
}

}  // namespace ringlist
