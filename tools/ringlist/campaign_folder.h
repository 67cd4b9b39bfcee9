#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "campaign/result_log.h"
#include "campaign/subscriber_list.h"
#include "time/clock.h"

namespace ringlist {

// One record of Ring.TXT as the list holds it.
struct ListRecord {
    std::string number;  // columns 0-6
    long long amount = 0;
    char mark = ' ';
    size_t offset = 0;  // where the record begins in the file
    int attempts = 0;   // calls counted in the list's attempts file
};

// A line of RINGY.txt or RINGN.txt with the verdict it stands for and its year in the log.
struct LogResult {
    campaign::ResultLine line;
    char result = 'Y';  // 'Y' from RINGY, 'Z' or 'N' from RINGN
    int year = 0;       // the log holds none: see read_log
};

// A log line that is torn or not one of Dialrun's: never skipped in silence.
struct LogProblem {
    std::string file;
    int line = 0;
    std::string what;
};

// One folder of a campaign: its list, and its logs if it has any.
struct CampaignFolder {
    std::filesystem::path dir;
    std::filesystem::path list_path;
    std::string list_bytes;
    campaign::ListReview review;
    std::vector<ListRecord> records;
    std::vector<LogResult> results;
    std::vector<LogProblem> log_problems;
    std::string notified_bytes;      // RINGY.txt as it is, "" when there is none
    std::string not_notified_bytes;  // RINGN.txt as it is
    bool has_attempts = false;       // the list has its attempts file (Dialrun's retry)
    int attempts_unmatched = 0;      // entries of that file that no record of the list takes
};

// The amount of columns 9-15 as the board hears it: leading blanks skipped, an inner blank
// counts as 0.
long long record_amount(std::string_view record);

// The records of a list that review_list accepted.
std::vector<ListRecord> list_records(const std::string& bytes, const campaign::ListReview& review);

// Reads the lines of one log; the problems name the file as label. The log holds day and
// month only: read in file order, a step back of more than six months (December then January)
// starts the next year, while a smaller one (the parts of a merge, one after another) keeps
// it; the last line is of the year of the last write, changed_at (the year before when its
// date comes after that day).
void read_log(const std::string& bytes, const std::string& label, char kind,
              const core::LocalTime& changed_at, std::vector<LogResult>& results,
              std::vector<LogProblem>& problems);

// When a file was last written, on the PC's clock.
core::LocalTime last_written(const std::filesystem::path& path);

// Reads a folder (Ring.TXT, its attempts, RINGY.txt, RINGN.txt, in any letter case). Returns what
// is wrong when there is no list to read, else "".
std::string read_folder(const std::filesystem::path& dir, CampaignFolder& folder);

// "строка N, позиция C: what is wrong", for a line the start would refuse.
std::string fault_place(const campaign::ListFault& fault);

}  // namespace ringlist
