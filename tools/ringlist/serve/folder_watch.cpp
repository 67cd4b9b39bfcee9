#include "ringlist/serve/folder_watch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "base/utf8_text.h"
#include "files/drive_paths.h"
#include "files/regular_file.h"
#include "ringlist/serve/status_file.h"

namespace ringlist {

namespace {

using nlohmann::json;

const char* const PROGRAMS[] = {"dialrun", "pinread", "inform"};
// A file written this close to a look may change again within the same tick of its time
// stamp (two seconds on some shares), unseen: it is read again at the next look.
constexpr auto SETTLED = std::chrono::seconds(2);
// The bound Dialrun itself keeps to: a list or log past it is said as such, never read.
constexpr std::uintmax_t FILE_LIMIT = core::LARGEST_INPUT;

std::string too_large(const std::filesystem::path& path) {
    return core::path_utf8(path) + ": " + core::TOO_LARGE + " (больше " +
           std::to_string(FILE_LIMIT >> 20) + " МБ)";
}

json totals_json(const MarkTotals& totals) {
    const char* const names[MARK_KINDS] = {"uncalled", "Y", "Z", "N", "S", "X", "other"};
    json records = json::object();
    json amounts = json::object();
    for (int k = 0; k < MARK_KINDS; ++k) {
        records[names[k]] = totals[k].records;
        amounts[names[k]] = totals[k].amount;
    }
    return {{"records", records}, {"amounts", amounts}};
}

// Up to the last CR LF: the rest is a line the program is still writing.
size_t whole_lines_end(const std::string& bytes) {
    size_t end = bytes.rfind("\r\n");
    return end == std::string::npos ? 0 : end + 2;
}

// A record as the start takes it without a fault: 20 bytes to its LF, after CR, digits in the
// number, digits or blanks in the amount, no LF before its end.
bool plain_record(const char* r, size_t left) {
    constexpr size_t size = campaign::RECORD_SIZE;
    if (left < size || r[size - 1] != '\n' || r[size - 2] != '\r') {
        return false;
    }
    for (size_t c = 0; c < 7; ++c) {
        if (r[c] < '0' || r[c] > '9') {
            return false;
        }
    }
    for (size_t c = 9; c < 16; ++c) {
        if ((r[c] < '0' || r[c] > '9') && r[c] != ' ') {
            return false;
        }
    }
    return r[7] != '\n' && r[8] != '\n' && r[16] != '\n' && r[17] != '\n';
}

// A list of such records up to its end marker (a line whose second byte is LF) or the file's
// end, counted where it lies, no record copied: a million of them at every mark. False at the
// first other line, for the start's own review to say what is wrong.
bool count_plain_list(const std::string& bytes, MarkTotals& totals) {
    totals = {};
    const char* p = bytes.data();
    for (size_t at = 0; at < bytes.size(); at += campaign::RECORD_SIZE) {
        if (at + 1 < bytes.size() && p[at + 1] == '\n') {
            return true;
        }
        if (!plain_record(p + at, bytes.size() - at)) {
            return false;
        }
        MarkTotal& t = totals[mark_kind(p[at + campaign::MARK_COLUMN])];
        ++t.records;
        t.amount += record_amount(std::string_view(p + at, campaign::RECORD_SIZE));
    }
    return true;
}

}  // namespace

std::string read_file_from(const std::filesystem::path& path, std::uintmax_t offset,
                           std::string& error) {
    if (offset == 0) {
        return core::read_regular_file(path, error, FILE_LIMIT);
    }
    std::FILE* file = core::open_regular(path, "rb", error);
    if (file == nullptr) {
        return {};
    }
    std::string bytes;
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        error = "не удалось перейти к байту " + std::to_string(offset);
    } else {
        char chunk[65536];
        size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0 && bytes.size() <= FILE_LIMIT) {
            bytes.append(chunk, n);
        }
        if (std::ferror(file)) {
            error = "ошибка чтения";
            bytes.clear();
        } else if (offset + bytes.size() > FILE_LIMIT) {
            error = core::TOO_LARGE;  // never a part of it taken for the whole
            bytes.clear();
        }
    }
    std::fclose(file);
    return bytes;
}

FolderWatch::FolderWatch(std::filesystem::path dir, FileReader reader)
    : dir_(std::move(dir)), reader_(std::move(reader)), shown_(std::make_shared<FolderView>()) {}

std::shared_ptr<FolderWatch> FolderWatch::start(std::filesystem::path dir, FileReader reader) {
    std::shared_ptr<FolderWatch> watch(new FolderWatch(std::move(dir), std::move(reader)));
    watch->thread_ = std::thread([self = watch] { self->work(); });
    return watch;
}

FolderWatch::~FolderWatch() {
    // The last hold is the thread's own when it was left behind: it is detached by then.
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        ask_to_stop();
        thread_.join();
    }
}

void FolderWatch::ask_to_stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    asked_.notify_all();
}

void FolderWatch::stop(Clock::time_point deadline) {
    ask_to_stop();
    bool ended = false;
    {
        std::unique_lock lock(mutex_);
        ended = done_.wait_until(lock, deadline, [&] { return ended_; });
    }
    if (!thread_.joinable()) {
        return;
    }
    if (ended) {
        thread_.join();
    } else {
        thread_.detach();  // in a read that does not come back: it ends when the read does
    }
}

uint64_t FolderWatch::ask(Clock::time_point now) {
    std::lock_guard lock(mutex_);
    asked_at_ = now;
    uint64_t ticket = ++wanted_;
    asked_.notify_one();
    return ticket;
}

std::shared_ptr<const FolderView> FolderWatch::view(uint64_t ticket, Clock::time_point deadline,
                                                    std::chrono::milliseconds patience,
                                                    bool& answering) {
    std::unique_lock lock(mutex_);
    done_.wait_until(lock, deadline, [&] {
        return finished_ >= ticket || (busy_ && Clock::now() - busy_since_ > patience);
    });
    answering = finished_ >= ticket;
    return shown_;
}

void FolderWatch::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        asked_.wait(lock, [&] { return stopping_ || wanted_ > finished_; });
        if (stopping_) {
            ended_ = true;
            done_.notify_all();
            return;
        }
        uint64_t ticket = wanted_;
        Clock::time_point at = asked_at_;
        busy_ = true;
        busy_since_ = Clock::now();
        lock.unlock();
        bool changed = look(at);
        lock.lock();
        if (changed) {
            shown_ = std::make_shared<const FolderView>(next_);
        }
        busy_ = false;
        finished_ = ticket;
        done_.notify_all();
    }
}

bool FolderWatch::look(Clock::time_point now) {
    bool changed = false;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir_, ec)) {
        std::string error = "Нет папки " + core::path_utf8(dir_);
        changed = next_.error != error || !next_.counts.empty();
        next_.error = error;
        next_.counts.clear();
        list_seen_ = {};  // read whole again when it is back
    } else if (files_changed()) {
        read_counts();
        changed = true;
    }
    for (const char* program : PROGRAMS) {
        changed |= read_status(program, now);
    }
    return changed;
}

FolderWatch::Signature FolderWatch::signature_of(const std::filesystem::path& path, bool& recent) {
    Signature s;
    recent = false;
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    // Only a name that is not there is a file missing: a link that loops or a folder that may
    // not be entered is there, and its reading says why it cannot be read.
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory ||
        (!ec && !std::filesystem::exists(status))) {
        return s;
    }
    s.present = true;
    s.regular = !ec && std::filesystem::is_regular_file(status);
    if (!s.regular) {
        // Told apart by why and by the name's own node: a link that loops put where a FIFO
        // was is another file.
        s.size = static_cast<std::uintmax_t>(ec.value());
#ifndef _WIN32
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0) {
            s.identity =
                static_cast<uint64_t>(info.st_ino) ^ (static_cast<uint64_t>(info.st_dev) << 40);
        }
#endif
        return s;
    }
    s.size = std::filesystem::file_size(path, ec);
    auto written = std::filesystem::last_write_time(path, ec);
    s.written = written.time_since_epoch().count();
    // A time stamp ahead of our clock (a share's server running fast, a clock set back) is
    // settled as well: only one near now may still change within its tick.
    auto age = std::filesystem::file_time_type::clock::now() - written;
    recent = age < SETTLED && age > -SETTLED;
#ifndef _WIN32
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        s.identity =
            static_cast<uint64_t>(info.st_ino) ^ (static_cast<uint64_t>(info.st_dev) << 40);
        s.written ^= static_cast<int64_t>(info.st_ctim.tv_nsec);
    }
#endif
    return s;
}

bool FolderWatch::changed(const std::filesystem::path& path, Watched& watched) {
    bool recent = false;
    Signature now = signature_of(path, recent);
    bool differs = path != watched.path || now != watched.seen || watched.recent;
    watched.path = path;
    watched.seen = now;
    watched.recent = recent;
    return differs;
}

bool FolderWatch::files_changed() {
    core::DriveC drive(dir_);
    list_changed_ = changed(drive.resolve("c:\\Ring.TXT"), list_seen_);
    bool any = list_changed_ || !next_.error.empty();
    for (int i = 0; i < 2; ++i) {
        log_changed_[i] = changed(
            drive.resolve(i == 0 ? campaign::NOTIFIED_LOG : campaign::NOT_NOTIFIED_LOG), logs_[i]);
        any |= log_changed_[i];
    }
    return any;
}

void FolderWatch::read_counts() {
    std::string error = read_files();
    next_.error = error;
    next_.counts.clear();
    next_.results.clear();
    if (!error.empty()) {
        list_seen_ = {};  // all read again once the fault is mended
        return;
    }
    Report report;
    report.folder_totals.push_back(list_totals_);
    for (const LogTotals& log : log_totals_) {
        for (const auto& [hour, verdicts] : log.timeline) {
            Verdicts& v = report.timeline[hour];
            v.y += verdicts.y;
            v.z += verdicts.z;
            v.n += verdicts.n;
        }
        for (int h = 0; h < 24; ++h) {
            report.profile[h].y += log.profile[h].y;
            report.profile[h].z += log.profile[h].z;
            report.profile[h].n += log.profile[h].n;
        }
        next_.results.insert(next_.results.end(), log.times.begin(), log.times.end());
    }
    std::sort(next_.results.begin(), next_.results.end());
    next_.warnings.clear();
    for (const Watched& log : logs_) {
        if (log.torn && !log.recent) {
            next_.warnings.push_back("Журнал " + core::path_utf8(log.path.filename()) +
                                     ": последняя строка не дописана (нет CR LF в конце)");
        }
    }
    const MarkTotals& t = list_totals_;
    long long records = 0;
    for (const MarkTotal& kind : t) {
        records += kind.records;
    }
    // Done is what Dialrun will not call again: a record with any mark but a blank (excluded,
    // dealt to a part or marked by hand), so that a list called to its end is 100 %.
    long long done = records - t[UNCALLED].records;
    json out;
    out["records"] = records;
    out["notified"] = t[MARK_Y].records;
    out["not_notified"] = t[MARK_Z].records + t[MARK_N].records;
    out["excluded"] = t[MARK_X].records;
    out["dealt"] = t[MARK_S].records;
    out["left"] = t[UNCALLED].records;
    out["percent"] = records == 0 ? 0 : done * 100 / records;
    out["marks"] = totals_json(t);
    out["problems"] = list_faults_ + log_totals_[0].problems + log_totals_[1].problems;
    out["warnings"] = next_.warnings;
    out["charts"] = {{"timeline", timeline_chart(report)}, {"profile", profile_chart(report)}};
    std::string text = out.dump(-1, ' ', false, json::error_handler_t::replace);
    next_.counts = text.substr(1, text.size() - 2);
    next_.totals = t;
}

// Reads what changed: the list whole (its marks change in place), a log from where the last
// read ended when it has only grown. Returns what is wrong, else "".
std::string FolderWatch::read_files() {
    if (list_changed_) {
        std::string failed = read_list();
        if (!failed.empty()) {
            return failed;
        }
    }
    for (int i = 0; i < 2; ++i) {
        std::string failed = read_log_file(i);
        if (!failed.empty()) {
            return failed;
        }
    }
    return {};
}

// The list's records by mark, and its faults; nothing of it is kept but the sums.
std::string FolderWatch::read_list() {
    if (list_seen_.seen.size > FILE_LIMIT) {
        return "Список " + too_large(list_seen_.path);
    }
    std::string error;
    std::string bytes = reader_(list_seen_.path, 0, error);
    if (!error.empty()) {
        return (list_seen_.seen.present ? "Список не читается: " : "Нет файла ") +
               core::path_utf8(list_seen_.path) + ": " + error;
    }
    if (count_plain_list(bytes, list_totals_)) {
        list_faults_ = 0;
        return {};
    }
    campaign::ListReview review = campaign::review_list(bytes);
    list_totals_ = {};
    std::string record;
    for (size_t start : review.record_starts) {
        record.assign(bytes, start, campaign::RECORD_SIZE);  // the same buffer, record by record
        MarkTotal& t = list_totals_[mark_kind(campaign::record_mark(record))];
        ++t.records;
        t.amount += record_amount(record);
    }
    list_faults_ = review.faults.size();
    return {};
}

std::string FolderWatch::read_log_file(int which) {
    Watched& log = logs_[which];
    LogTotals& totals = log_totals_[which];
    if (!log.seen.present) {
        totals = {};
        log.read = 0;
        log.taken = {};
        log.torn = false;
        return {};
    }
    if (!log_changed_[which] && log.seen == log.taken) {
        return {};
    }
    if (log.seen.size > FILE_LIMIT) {
        log.seen = {};
        return "Журнал " + too_large(log.path);
    }
    // Dialrun only appends: the same file, grown, is read from the end of its last whole line.
    // One of the same size with another time was written over in place: it is read whole.
    bool same_file = log.taken.present && log.taken.identity == log.seen.identity && log.read > 0;
    bool appended = log.seen.size > log.taken.size || log.seen == log.taken;
    if (!same_file || !appended || log.seen.size < log.read) {
        totals = {};
        log.read = 0;
    }
    std::string error;
    std::string bytes = reader_(log.path, log.read, error);
    if (!error.empty()) {
        log.seen = {};
        return "Журнал " + core::path_utf8(log.path) + " не читается: " + error;
    }
    log.taken = log.seen;
    size_t whole = whole_lines_end(bytes);
    // A line being written is left for the next look; one left so, the file settled, is said.
    log.torn = whole < bytes.size();
    bytes.resize(whole);
    log.read += whole;
    std::vector<LogResult> results;
    std::vector<LogProblem> problems;
    read_log(bytes, core::path_utf8(log.path.filename()), which == 0 ? 'Y' : 'N',
             last_written(log.path), results, problems);
    totals.problems += problems.size();
    for (const LogResult& r : results) {
        totals.timeline[{r.year, r.line.month, r.line.day, r.line.hour}].add(r.result);
        totals.profile[r.line.hour].add(r.result);
        core::LocalTime when;
        when.year = r.year;
        when.month = r.line.month;
        when.day = r.line.day;
        when.hour = r.line.hour;
        when.minute = r.line.minute;
        when.second = r.line.second;
        totals.times.push_back(core::calendar_seconds(when));
    }
    return {};
}

bool FolderWatch::read_status(const std::string& program, Clock::time_point now) {
    Watched& watched = status_seen_[program];
    if (!changed(dir_ / ("status-" + program + ".json"), watched)) {
        return false;
    }
    auto old = next_.status.find(program);
    if (!watched.seen.present) {
        if (old == next_.status.end()) {
            return false;
        }
        next_.status.erase(old);
        return true;
    }
    std::string error;
    std::string text;
    if (watched.seen.size > STATUS_FILE_LIMIT) {
        error = "больше " + std::to_string(STATUS_FILE_LIMIT / 1024) + " КБ";
    } else {
        text = reader_(watched.path, 0, error);
    }
    json status = error.empty() ? status_from_bytes(text) : json{{"unreadable", error}};
    if (old != next_.status.end() && old->second.text == text && old->second.json == status) {
        return false;
    }
    next_.status[program] = {status, text, now};
    return true;
}

}  // namespace ringlist
