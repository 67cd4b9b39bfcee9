#include "result_log.h"

#include <cerrno>
#include <cstring>

#include "durable_file.h"

namespace dialrun {

std::string result_log_line(const std::string& number, const core::LocalTime& now, char mark) {
    std::string line(70, ' ');
    line.replace(0, 7, number.substr(0, 7));
    line.replace(10, 14, core::format_local_time(now, "%d-%m %H:%M:%S"));
    line[25] = mark;
    line[68] = '\r';
    line[69] = '\n';
    return line;
}

std::string append_result_line(const std::filesystem::path& log, const std::string& line) {
    std::string error;
    std::error_code ec;
    bool created = !std::filesystem::exists(log, ec);
    std::FILE* file = core::open_exclusive(log, "ab", error, true);
    if (file == nullptr) {
        return error;
    }
    if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) {
        error = core::system_reason(errno);
    }
    if (error.empty()) {
        error = core::sync_to_disk(file);
    }
    if (std::fclose(file) != 0 && error.empty()) {
        error = core::system_reason(errno);
    }
    // A new log's name must reach the disk too, or a power cut could keep the mark it
    // backs and lose the file.
    if (created && error.empty()) {
        error = core::sync_folder(log.parent_path());
    }
    return error;
}

}  // namespace dialrun
