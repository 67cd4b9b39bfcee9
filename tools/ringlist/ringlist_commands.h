#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace ringlist {

// Exit statuses: done; refused (the files are as they were); the command line is wrong.
constexpr int DONE = 0;
constexpr int REFUSED = 1;
constexpr int USAGE = 2;

// Each command writes what it did, or why it refused, to out.
int check_list(const std::filesystem::path& file, std::ostream& out,
               bool repeats_are_faults = false);

struct ReportOptions {
    std::vector<std::filesystem::path> folders;
    std::string csv;
    std::string results_csv;
    std::string html;
    bool excel = false;
    bool force = false;  // an existing output may be replaced (never a campaign's own file)
};
int report(const ReportOptions& options, std::ostream& out);

// What retry clears: the marks, and with a cap or a gap only the records Dialrun's rounds
// would call now under the same rules.
struct RetryOptions {
    std::string marks = "ZN";
    int max_attempts = 0;  // 0: no cap
    int min_gap = 0;       // minutes; 0: none
};
int retry(const std::filesystem::path& folder, const RetryOptions& options, std::ostream& out);

int split(const std::filesystem::path& file, int parts, const std::filesystem::path& out_dir,
          std::ostream& out);

int merge(const std::filesystem::path& file, const std::vector<std::filesystem::path>& part_dirs,
          std::ostream& out);

}  // namespace ringlist
