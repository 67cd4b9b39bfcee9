#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace campaign {

// c:\Ring.TXT: fixed 20-byte records "NNNNNNN??AAAAAAA?M\r\n" (number, amount, mark), read in
// file order and marked in place. It is the campaign's memory: a marked record is never
// called again.
constexpr int RECORD_SIZE = 20;
constexpr int MARK_COLUMN = 17;

enum RecordKind { LIST_END = 0, FRESH_RECORD = 1, MARKED_RECORD = 2 };

// "Y" notified, "Z" not notified (reply 2), "N" not notified (any other reply).
char mark_for_reply(uint8_t reply);
// The mark a record carries: its column 17, a blank for a line too short to have one.
char record_mark(const std::string& record);

// A line that "Старт Прозвонки" refuses: where, counted from 1, and what is wrong.
struct ListFault {
    int line = 0;
    int column = 0;
    std::string what;
};

// A whole list as the start reads it: line by line up to the empty line or the end of the file.
struct ListReview {
    std::vector<ListFault> faults;      // every refused line, not only the first
    std::vector<size_t> record_starts;  // where each well-formed record begins, in file order
    int end_line = 0;                   // the empty line that ends the list; 0 for the file's end
    int lines_after_end = 0;            // what follows the end marker: never read, never called
};
ListReview review_list(const std::string& bytes);

// The start's refusal for a fault: "Ошибка в RING.TXT, строка N: ...".
std::string fault_message(const ListFault& fault);

class SubscriberList {
  public:
    SubscriberList() = default;
    ~SubscriberList() { close(); }
    SubscriberList(const SubscriberList&) = delete;
    SubscriberList& operator=(const SubscriberList&) = delete;

    // Opens the list for reading and writing, for this program alone, at its start.
    // Only a regular file of at most core::LARGEST_INPUT bytes is opened.
    bool open(const std::filesystem::path& path, std::string& error);
    // Returns the system's reason when the close fails, else "".
    std::string close();
    // Checks every record up to the end of the list, so that marking can never hit the wrong
    // byte. Returns "" when all are well formed, else what is wrong and on which line. The
    // file is not changed; reading starts again from the beginning.
    std::string validate();
    // The list's bytes up to its length (what could be read of them), for a look at every
    // record; the reading position stays.
    std::string whole_list();

    // The next line: LIST_END at the end of the file or at an empty line, else FRESH_RECORD
    // or MARKED_RECORD with the line in record_buffer(). Once the end has been met, every
    // later call reports it: what follows the end marker is never read.
    RecordKind read_record();
    // Writes the mark for reply into the record that ends at record_end and puts it on the
    // disk; the reading position stays. Returns the system's reason on failure, else "".
    std::string mark_record(long record_end, uint8_t reply);

    const std::string& record_buffer() const { return record_buffer_; }
    long list_length() const { return list_length_; }
    long list_offset() const { return list_offset_; }

  private:
    // One line as the reader sees it: up to and including a line feed, at most 80 bytes.
    bool read_line(std::string& line);
    // The list's bytes up to its length into bytes; the reading position stays. Returns the
    // system's reason when they cannot all be read, else "".
    std::string read_whole(std::string& bytes);

    std::FILE* file_ = nullptr;
    long list_length_ = 0;
    long list_offset_ = 0;
    std::string record_buffer_;
    bool list_ended_ = false;
};

}  // namespace campaign
