#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ringlist {

// A billing system's export: Excel's "Save as CSV" in Windows-1251 with ";", or UTF-8 with ",".
enum class Encoding { utf8, cp1251 };

struct CsvRow {
    int line = 0;                     // where the row begins in the file, from 1
    std::vector<std::string> fields;  // in UTF-8, quotes taken off
    std::string raw;                  // the row's bytes as the file has them, without its line end
};

struct CsvTable {
    Encoding encoding = Encoding::utf8;
    char separator = ';';
    bool bom = false;
    std::vector<CsvRow> rows;  // empty lines left out
};

// UTF-8 when the bytes start with its byte-order mark or are valid UTF-8; else Windows-1251.
Encoding detect_encoding(const std::string& bytes);

// The separator that splits the first rows alike into two fields or more, ";" first, then a
// tab, then ","; ";" when none does.
char detect_separator(const std::string& bytes);

std::string cp1251_to_utf8(const std::string& text);
// Letters Windows-1251 does not have become "?".
std::string utf8_to_cp1251(const std::string& text);

// Reads the rows as spreadsheets write them: a field in quotes may hold the separator, a line
// break and doubled quotes. Returns "" or why the file is not such a table (not text, a quote
// never closed).
std::string read_csv(const std::string& bytes, std::optional<Encoding> encoding,
                     std::optional<char> separator, CsvTable& table);

}  // namespace ringlist
