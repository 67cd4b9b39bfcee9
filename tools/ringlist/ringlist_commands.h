#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ringlist/import/csv_table.h"

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

struct ImportOptions {
    std::filesystem::path csv;
    std::filesystem::path list;
    std::string number_column;  // from 1, or a header's name
    std::string amount_column;
    std::optional<Encoding> encoding;  // detected when not given
    std::optional<char> separator;
    bool header = false;
    std::string prefixes;  // "99871,871,71"
    std::string duplicates = "first";
    std::filesystem::path exclude;  // a stop list
    bool append = false;
};
int import_list(const ImportOptions& options, std::ostream& out);

int exclude(const std::filesystem::path& file, const std::filesystem::path& stop_file,
            const std::string& prefixes, std::ostream& out);

struct ServeOptions {
    std::vector<std::filesystem::path> folders;
    std::string listen = "127.0.0.1:8080";
    std::filesystem::path token_file;
    std::string database;  // an ODBC connection string: the campaign database instead of folders
};
// Serves until SIGINT or SIGTERM.
int serve(const ServeOptions& options, std::ostream& out);

int split(const std::filesystem::path& file, int parts, const std::filesystem::path& out_dir,
          std::ostream& out);

int merge(const std::filesystem::path& file, const std::vector<std::filesystem::path>& part_dirs,
          std::ostream& out);

}  // namespace ringlist
