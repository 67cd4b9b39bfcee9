#pragma once

#include <filesystem>
#include <string>

#include "clock.h"

namespace dialrun {

// A line of C:\RINGY.txt or C:\RINGN.txt: 70 bytes, the number, the local time of writing
// "%d-%m %H:%M:%S" from column 10, the mark ("Z"/"N"; blank in RINGY) in column 25, CR LF.
std::string result_log_line(const std::string& number, const core::LocalTime& now, char mark);

// Appends the line and puts it on the disk before returning. Returns the system's reason
// when the log cannot be written, else "".
std::string append_result_line(const std::filesystem::path& log, const std::string& line);

const char* const NOTIFIED_LOG = "C:\\RINGY.txt";
const char* const NOT_NOTIFIED_LOG = "C:\\RINGN.txt";

}  // namespace dialrun
