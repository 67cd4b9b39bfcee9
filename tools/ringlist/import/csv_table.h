#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ringlist {

// A billing system's export: Excel's "Save as CSV" in Windows-1251 with ";", UTF-8 with ",",
// or its "Unicode text" (UTF-16LE with its mark, tab-separated).
enum class Encoding { utf8, cp1251, utf16le };

struct CsvRow {
    int line = 0;                     // where the row begins in the file, from 1
    std::vector<std::string> fields;  // in UTF-8, quotes taken off
    std::string raw;   // the row's bytes as the file has them, without its line end (read_csv)
    size_t start = 0;  // where raw begins in the text read, and its length
    size_t size = 0;
};

// How a file's text is laid out, found before its rows are read.
struct CsvLayout {
    Encoding encoding = Encoding::utf8;
    char separator = ';';
    bool bom = false;
    size_t from = 0;      // the first byte after the mark
    std::string warning;  // "" or what the reader guessed and how to say otherwise
};

struct CsvTable {
    Encoding encoding = Encoding::utf8;
    char separator = ';';
    bool bom = false;
    std::vector<CsvRow> rows;  // empty lines left out
};

// UTF-8 when the bytes start with its byte-order mark or are valid UTF-8; else Windows-1251.
Encoding detect_encoding(const std::string& bytes);

// The separator that splits every sampled record (whole records, quotes read) into the same
// number of fields, two or more, a short row or a trailing separator forgiven (at least half
// the records as wide as the widest); where two do,
// the one that gives more fields, then ";", a tab, ",". nullopt when none does; quote_error
// then gets a quote never closed, if that is why.
std::optional<char> detect_separator(const std::string& bytes, std::string* quote_error = nullptr);

std::string cp1251_to_utf8(const std::string& text);
// Letters Windows-1251 does not have become "?".
std::string utf8_to_cp1251(const std::string& text);
// Latin and Russian capitals made small ("Телефон" and "телефон" name one column).
std::string lowercase(const std::string& utf8);

// UTF-16LE with its byte-order mark, for what goes back to a file that came so.
std::string utf8_to_utf16le(const std::string& text);

// Makes a file's bytes ready for its rows: UTF-16 becomes UTF-8 in place, the encoding and
// the separator are found where not given. Returns "" or why the file is not such a table.
std::string open_csv(std::string& bytes, std::optional<Encoding> encoding,
                     std::optional<char> separator, CsvLayout& layout);

// Rows one at a time, so a city's export is never held twice: fields in UTF-8, raw as the
// text has it (start and size; raw itself left empty).
class CsvReader {
  public:
    CsvReader(const std::string& text, const CsvLayout& layout);
    // false at the end of the text, or with error set for a quote never closed.
    bool next(CsvRow& row, std::string& error);

  private:
    const std::string& text_;
    CsvLayout layout_;
    size_t at_ = 0;
    int line_ = 1;
};

// Reads the rows as spreadsheets write them: a field in quotes may hold the separator, a line
// break and doubled quotes. Returns "" or why the file is not such a table (not text, a quote
// never closed).
std::string read_csv(const std::string& bytes, std::optional<Encoding> encoding,
                     std::optional<char> separator, CsvTable& table);

}  // namespace ringlist
