#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ringlist/serve/folder_watch.h"

namespace ringlist {

// What the supervisor's page shows of the campaign folders, as the JSON of /api/summary. The
// files are read as they stand, never locked and never written: a line a run is writing is
// left for the next look. Each folder is read on its own thread, once per change, and served
// from memory; one that does not answer within patience is shown as last read.
class Summary {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Summary(std::vector<std::filesystem::path> folders, FileReader reader = read_file_from,
                     std::chrono::milliseconds patience = std::chrono::seconds(3));
    // Every folder's thread told at once, then awaited within patience: a folder hung in a read
    // is left behind, and the server stops all the same.
    ~Summary();
    Summary(const Summary&) = delete;
    Summary& operator=(const Summary&) = delete;

    // Per folder: its name, the counts as numbers, amounts by mark, the calls of the last hour,
    // the charts, and each program's status file (null where there is none); a status file
    // that has not changed for two minutes of this server's clock is marked stale; "responding"
    // false when the folder did not answer in time.
    std::string text(Clock::time_point now);

    // The same in Prometheus' text format, for a monitoring system.
    std::string metrics(Clock::time_point now);

  private:
    struct Seen {
        std::filesystem::path dir;
        std::shared_ptr<const FolderView> view;
        bool answering = false;
    };
    std::vector<Seen> look(Clock::time_point now);

    std::vector<std::shared_ptr<FolderWatch>> watches_;
    std::chrono::milliseconds patience_;
};

// A label's value as Prometheus reads it: in quotes, backslash, quote and line feed escaped.
std::string prometheus_label(const std::string& text);
// A gauge's HELP and TYPE lines, appended to out.
void prometheus_family(std::string& out, const char* name, const char* help);

}  // namespace ringlist
