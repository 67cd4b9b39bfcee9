#pragma once

#include <filesystem>
#include <string>

#include "time/clock.h"

namespace campaign {

// A line of C:\RINGY.txt or C:\RINGN.txt: 70 bytes, the number, the local time of writing
// "%d-%m %H:%M:%S" from column 10, the mark ("Z"/"N"; blank in RINGY) in column 25, CR LF.
std::string result_log_line(const std::string& number, const core::LocalTime& now, char mark);

// Appends the line (or lines) and puts it on the disk before returning; an unfinished last
// line that a kill left is cut off first. A log made here gets mode, the list's: it holds the
// list's numbers (0: the system's default). Returns the system's reason when the log cannot
// be written, else "".
std::string append_result_line(const std::filesystem::path& log, const std::string& line,
                               unsigned mode);

// One line of either log, read back.
struct ResultLine {
    std::string number;  // seven digits
    int day = 0;
    int month = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    char mark = ' ';  // blank in RINGY, "Z" or "N" in RINGN
};

// Reads a line of 70 bytes with its CR LF as result_log_line writes it. Returns "" and fills
// line, or says what is wrong with a line that is not one of ours.
std::string parse_result_line(const std::string& text, ResultLine& line);

const char* const NOTIFIED_LOG = "C:\\RINGY.txt";
const char* const NOT_NOTIFIED_LOG = "C:\\RINGN.txt";

}  // namespace campaign
