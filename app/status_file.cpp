#include "app/status_file.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "base/utf8_text.h"
#include "files/durable_file.h"

namespace program {

namespace {

constexpr auto AT_MOST = std::chrono::seconds(1);
constexpr auto AT_LEAST = std::chrono::minutes(1);

long process_id() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<long>(::getpid());
#endif
}

}  // namespace

StatusFile::StatusFile(std::filesystem::path path, unsigned mode, station::StatusHeader header,
                       station::Controller& controller, const core::Clock& clock)
    : path_(std::move(path)),
      mode_(mode),
      header_(std::move(header)),
      controller_(controller),
      clock_(clock) {}

StatusFile::~StatusFile() {
    finish();
}

void StatusFile::finish() {
    {
        std::lock_guard lock(mutex_);
        if (finished_) {
            return;
        }
        finished_ = true;
        ending_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) {
        writer_.join();
    }
    station::StatusReport last = controller_.status_report();
    last.state = "ended";
    std::string why = controller_.end_reason();
    if (!why.empty()) {
        last.reason = why;
    }
    say(write(last, true));
}

std::string StatusFile::start() {
    std::string said = write(controller_.status_report(), true);
    writer_ = std::thread([this] { keep_written(); });
    return said;
}

void StatusFile::say(const std::string& text) {
    if (!text.empty()) {
        controller_.state().log.add(text);
    }
}

void StatusFile::keep_written() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, AT_MOST, [this] { return ending_; })) {
        lock.unlock();
        say(write(controller_.status_report(), false));
        lock.lock();
    }
}

std::string StatusFile::write(const station::StatusReport& report, bool always) {
    std::string version = station::status_json(header_, report, 0);
    auto now = std::chrono::steady_clock::now();
    if (!always && version == written_ && now - written_at_ < AT_LEAST) {
        return {};
    }
    std::string json =
        station::status_json(header_, report, core::calendar_seconds(clock_.local_time()));
    std::string error = core::replace_file(path_, json, mode_);
    if (!error.empty()) {
        written_.clear();  // tried again at the next second, so that a recovery is seen
        if (failure_said_) {
            return {};  // once: a full disk must not fill the log as well
        }
        failure_said_ = true;
        return "Файл состояния " + core::path_utf8(path_) + " не записан: " + error;
    }
    written_ = version;
    written_at_ = now;
    if (!failure_said_) {
        return {};
    }
    failure_said_ = false;  // a new failure is said again
    return "Файл состояния " + core::path_utf8(path_) + " снова записан";
}

std::unique_ptr<StatusFile> open_status_file(const ProgramOptions& options,
                                             const std::string& program,
                                             station::Controller& controller,
                                             const core::Clock& clock) {
    std::string path =
        setting_path(options.status_file, options.root, "status-" + program + ".json");
    if (path.empty()) {
        return nullptr;
    }
    unsigned mode = core::file_mode(controller.state().drive.resolve("c:\\Ring.TXT"));
    station::StatusHeader header{program, PROJECT_VERSION, process_id(),
                                 core::calendar_seconds(clock.local_time())};
    return std::make_unique<StatusFile>(core::utf8_path(path), mode != 0 ? mode : 0640,
                                        std::move(header), controller, clock);
}

}  // namespace program
