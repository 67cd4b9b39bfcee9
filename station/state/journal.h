#pragma once

#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "time/clock.h"

namespace station {

// What one program's journal sums up and what it hides.
struct JournalRules {
    // The beginnings of the log lines an engine writes at every poll ("Adres K"): counted,
    // and written once a minute per channel as a "poll" line, so a day stays small.
    std::vector<std::string> poll_lines;
    // The beginnings of the log lines whose rest carries a received code ("Play wav N"):
    // the rest is written as "*".
    std::vector<std::string> masked_lines;
};

// The account of a program's days, for whoever comes after a night alone: one file a day,
// "<program>-YYYY-MM-DD.log" in folder, a line an event ("YYYY-MM-DD HH:MM:SS<TAB>tag<TAB>
// text"), appended and flushed at every line and never cleared; the files of old days are
// removed where a number of days to keep is given. Safe from any thread.
class Journal {
  public:
    // mode: a new file's permission bits (0: the system's default).
    Journal(std::filesystem::path folder, std::string program, const core::Clock& clock,
            JournalRules rules, unsigned mode);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // One event with a tag of its own ("status", "press", "settings", "link" ...).
    void write(const std::string& tag, const std::string& text);
    // A line of the log box, under the rules.
    void log_line(const std::string& text);
    // The minute's poll sums written now and the file flushed: for an exit that skips the
    // destructor.
    void flush();
    // The program's files of days more than days - 1 before the day written are removed as
    // each day's file opens, so that the journal keeps days files; 0, as made: all are kept.
    // Before the first line.
    void keep_days(int days) { keep_days_ = days; }
    // The first failure to write, said once by whoever asks; "" while all is well.
    std::string take_error();

  private:
    struct Channel {
        std::vector<std::pair<std::string, int>> counts;  // line and count, in first order
    };
    void append(const core::LocalTime& at, const std::string& tag, const std::string& text);
    void count_poll(const core::LocalTime& at, const std::string& text);
    void write_polls();
    void remove_old_days(const core::LocalTime& today);
    bool starts_any(const std::string& text, const std::vector<std::string>& beginnings) const;

    const std::filesystem::path folder_;
    const std::string program_;
    const core::Clock& clock_;
    const JournalRules rules_;
    const unsigned mode_;
    int keep_days_ = 0;
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::string file_day_;
    std::string error_;
    bool error_taken_ = false;
    // The polls of the minute being counted, by channel; the channel of a line that names
    // none is the last one named.
    std::map<int, Channel> polls_;
    std::string poll_minute_;
    core::LocalTime poll_last_;
    core::LocalTime written_last_;  // the stamp of the last line written
    int poll_channel_ = 0;
};

}  // namespace station
