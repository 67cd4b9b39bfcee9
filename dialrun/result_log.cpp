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
    std::FILE* file = core::open_exclusive(log, "ab", error, true);
    if (file == nullptr) {
        return error;
    }
    if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) {
        error = std::strerror(errno);
    }
    if (error.empty()) {
        error = core::sync_to_disk(file);
    }
    if (std::fclose(file) != 0 && error.empty()) {
        error = std::strerror(errno);
    }
    return error;
}

}  // namespace dialrun
