#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace campaign {

// How often one record of the list has been called, and when last (UTC seconds).
struct Attempt {
    int count = 0;
    int64_t last_call = 0;
};

// Ring.TXT.attempts beside the list: a line "position number count last-call" per call
// counted, appended, the last line of a position standing. Attempts belong to this list's
// records, not to the logs, which hold earlier campaigns as well: an entry whose number is
// not the number at its position is not this record's, unless matched_to finds its record.
class Attempts {
  public:
    // Reads the file's text. A piece of an entry (digits and blanks: a line a kill tore, closed
    // by the next append) is passed over; any other line is not of an attempts file, and fault
    // (where given) names the first such line: counts read past it could let the cap be
    // exceeded.
    static Attempts parse(const std::string& text, std::string* fault = nullptr);

    // Position counts the list's records from 1; number is the record's seven digits.
    Attempt of(int position, const std::string& number) const;
    void set(int position, const std::string& number, const Attempt& attempt);
    // Every entry, one line each, in position order: the file written anew.
    std::string text() const;
    bool empty() const { return entries_.empty(); }

    // The entries at the places of a list's records (numbers[i] is the record at position
    // i + 1): a hand-edited list moves records, and a record must keep its count wherever it
    // went. An entry whose position no longer holds its number goes to the one record with its
    // number; where two entries meet at a record, the one written later stands (a count gone on
    // at the new place, or set back by ringlist retry). unmatched counts the entries whose
    // number the list holds nowhere, or at more than one place.
    Attempts matched_to(const std::vector<std::string>& numbers, int& unmatched) const;

  private:
    struct Entry {
        std::string number;
        Attempt attempt;
        long order = 0;  // when it was written: its line in the file, or after them all
    };
    std::map<int, Entry> entries_;
    long written_ = 0;
};

std::filesystem::path attempts_path(const std::filesystem::path& list);

// One entry line, CR LF at its end as the list has it.
std::string attempt_line(int position, const std::string& number, const Attempt& attempt);

// Appends the lines and puts them on the disk before returning, creating the file with mode
// (the list's) where it is not there. Returns the system's reason on failure, else "".
std::string append_attempts(const std::filesystem::path& file, const std::string& lines,
                            unsigned mode);

// The numbers of a list's records in list order, for matched_to.
std::vector<std::string> list_numbers(const std::string& list_bytes);

// "попытки N записей не найдены в списке": what a start and a report say of unmatched entries.
std::string unmatched_text(int count);

// Reads the attempts beside a list; none when there is no file. error is set when a file
// that is there cannot be read, or holds what is not an entry nor a piece of one.
Attempts read_attempts(const std::filesystem::path& list, std::string& error);

}  // namespace campaign
