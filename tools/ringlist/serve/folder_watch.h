#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "ringlist/report/report.h"

namespace ringlist {

// Reads a regular file from offset to its end ("" with error set when it cannot): a FIFO or a
// device in a watched folder is refused at once, never waited on.
using FileReader = std::function<std::string(const std::filesystem::path& path,
                                             std::uintmax_t offset, std::string& error)>;
std::string read_file_from(const std::filesystem::path& path, std::uintmax_t offset,
                           std::string& error);

// A program's status file as last read, and when this server saw it change.
struct ProgramStatus {
    nlohmann::json json;
    std::string text;  // the file's bytes
    std::chrono::steady_clock::time_point changed;
};

// What the page shows of one folder, made once per change of its files.
struct FolderView {
    std::string error;                  // no list to read: no counts
    std::string counts;                 // the JSON members of the counts and charts, no braces
    MarkTotals totals{};                // for /metrics
    std::vector<int64_t> results;       // when each result was written (local calendar seconds),
                                        // in order
    std::vector<std::string> warnings;  // what is wrong that does not stop the counts
    std::map<std::string, ProgramStatus> status;  // by program
};

// One watched folder, read apart from the others on a thread of its own, and only what changed
// (by the size and time of its files; a log from where the last read ended). A request waits
// for a look that starts after it was made, but not past its deadline: a folder that hangs, a
// network share gone, is then shown as last read and marked as not answering. Its thread holds
// the watch as well: one left behind in a read that never ends cannot outlive what it uses.
class FolderWatch : public std::enable_shared_from_this<FolderWatch> {
  public:
    using Clock = std::chrono::steady_clock;

    static std::shared_ptr<FolderWatch> start(std::filesystem::path dir, FileReader reader);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Tells the thread to end after the look under way; stop() waits for it until deadline,
    // and a thread still in a read then is left to end by itself (the server stops all the same).
    void ask_to_stop();
    void stop(Clock::time_point deadline);

    // Asks for a fresh look, its changes seen at now; returns the ticket to wait for.
    uint64_t ask(Clock::time_point now);
    // The view once the look of ticket is done, or the last one when the deadline (a steady
    // clock's time) passes or a look already under way has outrun it; answering says which.
    std::shared_ptr<const FolderView> view(uint64_t ticket, Clock::time_point deadline,
                                           std::chrono::milliseconds patience, bool& answering);

    const std::filesystem::path& dir() const { return dir_; }

  private:
    FolderWatch(std::filesystem::path dir, FileReader reader);

    struct Signature {
        bool present = false;
        bool regular = true;
        std::uintmax_t size = 0;
        int64_t written = 0;  // modification time, in the file system's own ticks
        uint64_t identity = 0;
        bool operator==(const Signature&) const = default;
    };
    // A file as the last look found it.
    struct Watched {
        std::filesystem::path path;
        Signature seen;
        Signature taken;          // when a log was last read
        bool recent = false;      // written close to the look: read again at the next one
        std::uintmax_t read = 0;  // a log's bytes taken, up to the end of its last whole line
        bool torn = false;        // a log's last line has no CR LF at its end
    };
    // What a log's lines add up to, kept instead of the lines.
    struct LogTotals {
        std::map<HourKey, Verdicts> timeline;
        std::array<Verdicts, 24> profile{};
        std::vector<int64_t> times;  // when each result was written, local calendar seconds
        size_t problems = 0;
    };

    void work();
    bool look(Clock::time_point now);
    static Signature signature_of(const std::filesystem::path& path, bool& recent);
    bool changed(const std::filesystem::path& path, Watched& watched);
    bool files_changed();
    void read_counts();
    std::string read_files();
    std::string read_list();
    std::string read_log_file(int which);
    bool read_status(const std::string& program, Clock::time_point now);

    const std::filesystem::path dir_;
    FileReader reader_;

    // The worker's own, touched by its thread only.
    MarkTotals list_totals_{};
    size_t list_faults_ = 0;
    LogTotals log_totals_[2];
    Watched list_seen_;
    Watched logs_[2];
    std::map<std::string, Watched> status_seen_;
    bool list_changed_ = false;
    bool log_changed_[2] = {false, false};
    FolderView next_;

    std::mutex mutex_;
    std::condition_variable asked_;
    std::condition_variable done_;
    uint64_t wanted_ = 0;
    uint64_t finished_ = 0;
    bool busy_ = false;
    Clock::time_point busy_since_;
    Clock::time_point asked_at_;
    bool stopping_ = false;
    bool ended_ = false;  // the thread is out of its loop
    std::shared_ptr<const FolderView> shown_;
    std::thread thread_;
};

}  // namespace ringlist
