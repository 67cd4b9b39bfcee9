#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace ringlist {

// The mark of a record whose number is on the stop list: Dialrun passes over every marked
// record, and retry never clears this one.
constexpr char EXCLUDED_MARK = 'X';

// A stop list: a number a line, written in any way an import takes, "#" comments, empty lines.
// Returns "" or the file's line that is not a number and why; numbers gets the seven digits.
std::string read_stop_list(const std::filesystem::path& file,
                           const std::vector<std::string>& prefixes,
                           std::set<std::string>& numbers);

}  // namespace ringlist
