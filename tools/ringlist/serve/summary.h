#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace ringlist {

// What the supervisor's page shows of the campaign folders, as the JSON of /api/summary. The
// files are read as they stand, never locked and never written: a line a run is writing is
// left for the next look.
class Summary {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Summary(std::vector<std::filesystem::path> folders);

    // Per folder: its name, the counts as numbers, amounts by mark, the calls of the last hour,
    // the charts, and each program's status file (null where there is none); a status file
    // that has not changed for two minutes of this server's clock is marked stale.
    std::string text(Clock::time_point now);

  private:
    struct Seen {
        std::string text;
        Clock::time_point changed;
    };
    std::string folder_json(const std::filesystem::path& folder, Clock::time_point now);
    std::string status_json(const std::filesystem::path& file, Clock::time_point now);

    std::vector<std::filesystem::path> folders_;
    std::mutex mutex_;
    std::map<std::filesystem::path, Seen> seen_;  // status files, by this server's clock
};

}  // namespace ringlist
