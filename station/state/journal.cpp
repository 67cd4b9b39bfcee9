#include "state/journal.h"

#include "base/plain_text.h"
#include "base/system_reason.h"
#include "base/utf8_text.h"
#include "files/durable_file.h"

namespace station {

namespace {

// The channel a line names: "Adres K3", "К=3" → 3; 0 when it names none.
int named_channel(const std::string& text) {
    for (const char* mark : {"K", "К="}) {
        size_t at = text.rfind(mark);
        if (at == std::string::npos) {
            continue;
        }
        size_t digit = at + std::string(mark).size();
        if (digit < text.size() && text[digit] >= '1' && text[digit] <= '8') {
            return text[digit] - '0';
        }
    }
    return 0;
}

// The day of a file of program's journal ("pinread-2026-12-09.log"), counted in days since
// 1970; false for any other name.
bool journal_day(const std::string& name, const std::string& program, int64_t& day) {
    const std::string head = program + "-";
    const std::string tail = ".log";
    core::LocalTime date;
    if (name.size() != head.size() + 10 + tail.size() || name.rfind(head, 0) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0 ||
        !core::parse_local_time(name.substr(head.size(), 10) + "T00:00:00", date)) {
        return false;
    }
    day = core::calendar_seconds(date) / 86400;
    return true;
}

}  // namespace

Journal::Journal(std::filesystem::path folder, std::string program, const core::Clock& clock,
                 JournalRules rules, unsigned mode)
    : folder_(std::move(folder)),
      program_(std::move(program)),
      clock_(clock),
      rules_(std::move(rules)),
      mode_(mode) {}

Journal::~Journal() {
    std::lock_guard lock(mutex_);
    write_polls();
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void Journal::write(const std::string& tag, const std::string& text) {
    std::lock_guard lock(mutex_);
    append(clock_.local_time(), tag, text);
}

void Journal::log_line(const std::string& text) {
    std::lock_guard lock(mutex_);
    core::LocalTime now = clock_.local_time();
    if (starts_any(text, rules_.poll_lines)) {
        count_poll(now, text);
        return;
    }
    for (const std::string& beginning : rules_.masked_lines) {
        if (text.rfind(beginning, 0) == 0) {
            append(now, "log", beginning + "*");
            return;
        }
    }
    append(now, "log", text);
}

void Journal::flush() {
    std::lock_guard lock(mutex_);
    write_polls();
    if (file_ != nullptr && std::fflush(file_) != 0) {
        error_ =
            error_.empty() ? core::path_utf8(folder_) + ": " + core::system_reason(errno) : error_;
    }
}

std::string Journal::take_error() {
    std::lock_guard lock(mutex_);
    if (error_.empty() || error_taken_) {
        return {};
    }
    error_taken_ = true;
    return error_;
}

bool Journal::starts_any(const std::string& text,
                         const std::vector<std::string>& beginnings) const {
    for (const std::string& beginning : beginnings) {
        if (text.rfind(beginning, 0) == 0) {
            return true;
        }
    }
    return false;
}

void Journal::count_poll(const core::LocalTime& at, const std::string& text) {
    std::string minute = core::format_local_time(at, "%Y-%m-%d %H:%M");
    if (minute != poll_minute_) {
        write_polls();
        poll_minute_ = minute;
    }
    poll_last_ = at;
    int named = named_channel(text);
    poll_channel_ = named != 0 ? named : poll_channel_;
    std::vector<std::pair<std::string, int>>& counts = polls_[poll_channel_].counts;
    for (auto& [line, count] : counts) {
        if (line == text) {
            ++count;
            return;
        }
    }
    counts.push_back({text, 1});
}

// "K1 Adres K1 ×30, Ожд.Ring ×30; K2 ...", stamped with the minute's last poll, or with the
// last line written where that came later in the minute: a day's stamps never go back.
void Journal::write_polls() {
    if (polls_.empty()) {
        return;
    }
    std::string text;
    for (const auto& [channel, polled] : polls_) {
        text += text.empty() ? "" : "; ";
        text += channel == 0 ? std::string("K?") : "K" + std::to_string(channel);
        for (size_t i = 0; i < polled.counts.size(); ++i) {
            text += (i == 0 ? " " : ", ") + polled.counts[i].first + " ×" +
                    std::to_string(polled.counts[i].second);
        }
    }
    polls_.clear();
    bool later = core::calendar_seconds(written_last_) > core::calendar_seconds(poll_last_);
    append(later ? written_last_ : poll_last_, "poll", text);
}

// Only this program's files of a day, and only regular files: whatever else is in the folder
// is the operator's.
void Journal::remove_old_days(const core::LocalTime& today) {
    if (keep_days_ <= 0) {
        return;
    }
    core::LocalTime midnight = today;
    midnight.hour = midnight.minute = midnight.second = 0;
    const int64_t first_kept = core::calendar_seconds(midnight) / 86400 - (keep_days_ - 1);
    std::vector<std::filesystem::path> old;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder_, ec), end; !ec && it != end;
         it.increment(ec)) {
        int64_t day = 0;
        std::error_code kind;
        if (journal_day(core::path_utf8(it->path().filename()), program_, day) &&
            day < first_kept &&
            it->symlink_status(kind).type() == std::filesystem::file_type::regular) {
            old.push_back(it->path());
        }
    }
    if (ec) {
        error_ = error_.empty() ? core::path_utf8(folder_) + ": " + core::system_reason(ec.value())
                                : error_;
    }
    for (const std::filesystem::path& file : old) {
        if (!std::filesystem::remove(file, ec) && ec) {
            error_ = error_.empty() ? "файл " + core::path_utf8(file) +
                                          " не удален: " + core::system_reason(ec.value())
                                    : error_;
        }
    }
}

void Journal::append(const core::LocalTime& at, const std::string& tag, const std::string& text) {
    // The minute's polls go before anything that comes after them.
    if (tag != "poll" && !polls_.empty() &&
        core::format_local_time(at, "%Y-%m-%d %H:%M") != poll_minute_) {
        write_polls();
    }
    std::string day = core::format_local_time(at, "%Y-%m-%d");
    if (file_ == nullptr || day != file_day_) {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
        std::string error;
        file_ = core::open_append(folder_ / core::utf8_path(program_ + "-" + day + ".log"), mode_,
                                  error);
        file_day_ = day;
        if (file_ == nullptr) {
            error_ = error_.empty() ? error : error_;
            return;
        }
        remove_old_days(at);
    }
    std::string line = core::format_local_time(at, "%Y-%m-%d %H:%M:%S") + "\t" + tag + "\t" +
                       core::one_line(text) + "\n";
    written_last_ = at;
    if (std::fputs(line.c_str(), file_) < 0 || std::fflush(file_) != 0) {
        error_ =
            error_.empty() ? core::path_utf8(folder_) + ": " + core::system_reason(errno) : error_;
    }
}

}  // namespace station
