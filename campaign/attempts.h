#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace campaign {

// How often one record of the list has been called, and when last (UTC seconds).
struct Attempt {
    int count = 0;
    int64_t last_call = 0;
};

// Ring.TXT.attempts beside the list: a line "position number count last-call" per call
// counted, appended, the last line of a position standing. Attempts belong to this list's
// records, not to the logs, which hold earlier campaigns as well: an entry whose number is
// not the number at its position (a list written anew) is not this record's.
class Attempts {
  public:
    // Reads the file's text; lines that are not entries (a torn last one) are passed over.
    static Attempts parse(const std::string& text);

    // Position counts the list's records from 1; number is the record's seven digits.
    Attempt of(int position, const std::string& number) const;
    void set(int position, const std::string& number, const Attempt& attempt);
    // Every entry, one line each, in position order: the file written anew.
    std::string text() const;
    bool empty() const { return entries_.empty(); }

  private:
    std::map<int, std::pair<std::string, Attempt>> entries_;
};

std::filesystem::path attempts_path(const std::filesystem::path& list);

// One entry line, CR LF at its end as the list has it.
std::string attempt_line(int position, const std::string& number, const Attempt& attempt);

// Appends the lines and puts them on the disk before returning, creating the file with mode
// (the list's) where it is not there. Returns the system's reason on failure, else "".
std::string append_attempts(const std::filesystem::path& file, const std::string& lines,
                            unsigned mode);

// Reads the attempts beside a list; none when there is no file. error is set when a file
// that is there cannot be read.
Attempts read_attempts(const std::filesystem::path& list, std::string& error);

}  // namespace campaign
