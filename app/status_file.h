#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/program_options.h"
#include "control/controller.h"
#include "control/status_report.h"

namespace program {

// The status file that --status-file asks for, for a supervisor or a monitoring system. It is
// always whole: each version is written beside it, synced and renamed over it. It is written
// within a second of a change, at most once a second, and at least once a minute while the
// program lives; the last version says "ended".
class StatusFile {
  public:
    StatusFile(std::filesystem::path path, unsigned mode, station::StatusHeader header,
               station::Controller& controller, const core::Clock& clock);
    ~StatusFile();
    StatusFile(const StatusFile&) = delete;
    StatusFile& operator=(const StatusFile&) = delete;

    // The first version, then the writer's thread; returns why the first version could not
    // be written ("" when it was), for the notes the log starts with.
    std::string start();
    // The writer's thread ends and the last version, "ended", is written (once): before an
    // exit that skips the destructor, or from it.
    void finish();

  private:
    void keep_written();
    // Writes a version where due; returns what is to be said of the file: its first failure,
    // or its recovery after one, once each; "" otherwise.
    std::string write(const station::StatusReport& report, bool always);
    void say(const std::string& text);

    const std::filesystem::path path_;
    const unsigned mode_;
    const station::StatusHeader header_;
    station::Controller& controller_;
    const core::Clock& clock_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool ending_ = false;
    bool finished_ = false;
    std::thread writer_;
    std::string written_;  // the last version, without its time
    std::chrono::steady_clock::time_point written_at_;
    bool failure_said_ = false;
};

// The status file of options, or null for "no".
std::unique_ptr<StatusFile> open_status_file(const ProgramOptions& options,
                                             const std::string& program,
                                             station::Controller& controller,
                                             const core::Clock& clock);

}  // namespace program
