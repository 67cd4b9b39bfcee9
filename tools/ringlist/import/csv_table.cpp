#include "ringlist/import/csv_table.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace ringlist {

namespace {

const char* const BOM = "\xEF\xBB\xBF";

// Windows-1251 from 0x80 to 0xBF; from 0xC0 on it is А..я in order.
const uint16_t CP1251_HIGH[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

uint32_t cp1251_letter(unsigned char c) {
    if (c < 0x80) {
        return c;
    }
    return c >= 0xC0 ? 0x0410 + (c - 0xC0) : CP1251_HIGH[c - 0x80];
}

void put_utf8(uint32_t u, std::string& out) {
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

// The length of the valid UTF-8 sequence at i (shortest form, no surrogates); 0 if none.
size_t utf8_length(const std::string& s, size_t i, uint32_t& u) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) {
        return 0;
    }
    u = n == 1 ? c : c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) {
            return 0;
        }
        u = (u << 6) | (t & 0x3F);
    }
    const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (u < least[n] || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) {
        return 0;
    }
    return n;
}

void put_utf16le(uint32_t u, std::string& out) {
    auto unit = [&](uint32_t w) {
        out += static_cast<char>(w & 0xFF);
        out += static_cast<char>(w >> 8);
    };
    if (u >= 0x10000) {
        unit(0xD800 + ((u - 0x10000) >> 10));
        unit(0xDC00 + ((u - 0x10000) & 0x3FF));
    } else {
        unit(u);
    }
}

// UTF-16LE after its mark as UTF-8; "" or why not (an odd length, a lone surrogate).
std::string utf16le_to_utf8(const std::string& bytes, std::string& out) {
    if (bytes.size() % 2 != 0) {
        return "UTF-16: нечетное число байтов, файл оборван";
    }
    out.reserve(bytes.size());
    for (size_t i = 2; i < bytes.size(); i += 2) {
        uint32_t u = static_cast<unsigned char>(bytes[i]) |
                     static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 3])) << 8;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            return "UTF-16: непарный суррогат, байт " + std::to_string(i);
        }
        if (u == 0) {
            return "не текст: в файле нулевые символы";
        }
        put_utf8(u, out);
    }
    return {};
}

// One row from at: a quote opens a field only at its start. A line ends at CR LF, LF or a CR
// alone, inside quotes as well as outside, so line numbers hold in every kind of file.
bool read_row(const std::string& bytes, size_t& at, char separator, int& line, CsvRow& row,
              std::string& error) {
    if (at >= bytes.size()) {
        return false;
    }
    size_t i = at;
    row.line = line;
    row.fields.clear();
    size_t start = i;
    std::string field;
    bool quoted_field = false;
    bool in_quotes = false;
    for (; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (in_quotes) {
            if (c == '"' && i + 1 < bytes.size() && bytes[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                in_quotes = false;
            } else {
                line += c == '\n' || (c == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'));
                field += c;
            }
        } else if (c == '"' && field.empty() && !quoted_field) {
            in_quotes = quoted_field = true;
        } else if (c == separator) {
            row.fields.push_back(std::move(field));
            field.clear();
            quoted_field = false;
        } else if (c == '\n' || c == '\r') {
            break;
        } else {
            field += c;
        }
    }
    if (in_quotes) {
        error = "строка " + std::to_string(row.line) + ": кавычка не закрыта до конца файла";
        return false;
    }
    size_t end = i;
    if (i < bytes.size() && bytes[i] == '\r') {
        ++i;
    }
    if (i < bytes.size() && bytes[i] == '\n') {
        ++i;
    }
    ++line;
    at = i;
    row.fields.push_back(std::move(field));
    row.start = start;
    row.size = end - start;
    return true;
}

bool blank_row(const CsvRow& row) {
    for (const std::string& field : row.fields) {
        if (field.find_first_not_of(" \t") != std::string::npos) {
            return false;
        }
    }
    return true;
}

// How many fields a row has for the separator's sake: trailing empty fields are a
// spreadsheet's habit, not columns.
size_t counted_fields(const CsvRow& row) {
    size_t n = row.fields.size();
    while (n > 1 && row.fields[n - 1].empty()) {
        --n;
    }
    return n;
}

// A valid UTF-8 sequence of two bytes or more in the first megabyte: text that was meant as
// UTF-8.
bool has_utf8_letters(const std::string& bytes) {
    uint32_t u = 0;
    for (size_t i = 0; i < std::min<size_t>(bytes.size(), 1u << 20);) {
        size_t n = utf8_length(bytes, i, u);
        if (n > 1) {
            return true;
        }
        i += n == 0 ? 1 : n;
    }
    return false;
}

// Where the first byte that is not UTF-8 stands: its value and line.
std::string first_stray_byte(const std::string& bytes) {
    uint32_t u = 0;
    int line = 1;
    for (size_t i = 0; i < bytes.size();) {
        size_t n = utf8_length(bytes, i, u);
        if (n == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(bytes[i]));
            return std::string("байт ") + hex + " в строке " + std::to_string(line);
        }
        line += bytes[i] == '\n';
        i += n;
    }
    return {};
}

}  // namespace

Encoding detect_encoding(const std::string& bytes) {
    if (bytes.compare(0, 3, BOM) == 0) {
        return Encoding::utf8;
    }
    uint32_t u = 0;
    for (size_t i = 0; i < bytes.size();) {
        size_t n = utf8_length(bytes, i, u);
        if (n == 0) {
            return Encoding::cp1251;
        }
        i += n;
    }
    return Encoding::utf8;
}

std::optional<char> detect_separator(const std::string& bytes, std::string* quote_error) {
    // Enough records to see the columns, never a record cut in two.
    const size_t SAMPLE = 50;
    std::optional<char> best;
    size_t best_fields = 0;
    for (char candidate : {';', '\t', ','}) {
        std::vector<size_t> counts;
        size_t at = 0;
        int line = 1;
        CsvRow row;
        std::string error;
        while (counts.size() < SAMPLE && read_row(bytes, at, candidate, line, row, error)) {
            if (row.size > 0 && !blank_row(row)) {
                counts.push_back(counted_fields(row));
            }
        }
        if (!error.empty() && quote_error != nullptr && quote_error->empty()) {
            *quote_error = error;
        }
        if (!error.empty() || counts.empty()) {
            continue;
        }
        size_t widest = *std::max_element(counts.begin(), counts.end());
        size_t full = static_cast<size_t>(std::count(counts.begin(), counts.end(), widest));
        // Most records as wide as the widest: a short row or two (an empty cell at the end)
        // does not hide the columns.
        bool consistent = widest >= 2 && full * 2 >= counts.size();
        if (consistent && widest > best_fields) {
            best = candidate;
            best_fields = widest;
        }
    }
    return best;
}

std::string cp1251_to_utf8(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        put_utf8(cp1251_letter(c), out);
    }
    return out;
}

std::string utf8_to_cp1251(const std::string& text) {
    std::string out;
    uint32_t u = 0;
    for (size_t i = 0; i < text.size();) {
        size_t n = utf8_length(text, i, u);
        i += n == 0 ? 1 : n;
        char c = '?';
        if (n != 0 && u < 0x80) {
            c = static_cast<char>(u);
        } else if (n != 0 && u >= 0x0410 && u <= 0x044F) {
            c = static_cast<char>(0xC0 + (u - 0x0410));
        } else if (n != 0) {
            for (int k = 0; k < 64; ++k) {
                if (CP1251_HIGH[k] == u) {
                    c = static_cast<char>(0x80 + k);
                }
            }
        }
        out += c;
    }
    return out;
}

std::string lowercase(const std::string& utf8) {
    std::string out;
    uint32_t u = 0;
    for (size_t i = 0; i < utf8.size();) {
        size_t n = utf8_length(utf8, i, u);
        if (n == 0) {
            out += utf8[i++];
            continue;
        }
        u = u >= 'A' && u <= 'Z' ? u + 32 : u >= 0x0410 && u <= 0x042F ? u + 32 : u;
        u = u >= 0x0400 && u <= 0x040F ? u + 80 : u;  // Ё and the rest of that row
        put_utf8(u, out);
        i += n;
    }
    return out;
}

std::string utf8_to_utf16le(const std::string& text) {
    std::string out = "\xFF\xFE";
    uint32_t u = 0;
    for (size_t i = 0; i < text.size();) {
        size_t n = utf8_length(text, i, u);
        put_utf16le(n == 0 ? '?' : u, out);
        i += n == 0 ? 1 : n;
    }
    return out;
}

std::string open_csv(std::string& bytes, std::optional<Encoding> encoding,
                     std::optional<char> separator, CsvLayout& layout) {
    layout = {};
    if (bytes.empty()) {
        return "пустой файл";
    }
    // Excel's "Unicode text": its mark, then two bytes a letter.
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 && (!encoding || *encoding == Encoding::utf16le)) {
        std::string text;
        std::string error = utf16le_to_utf8(bytes, text);
        if (!error.empty()) {
            return error;
        }
        bytes.swap(text);
        layout.bom = true;
        layout.encoding = Encoding::utf16le;
    } else if (encoding == Encoding::utf16le) {
        return "нет метки UTF-16 (FF FE) в начале файла";
    } else {
        if (bytes.find('\0') != std::string::npos) {
            return "не текст: в файле нулевые байты (таблица Excel, а не CSV?)";
        }
        layout.bom = bytes.compare(0, 3, BOM) == 0;
        layout.from = layout.bom ? 3 : 0;
        layout.encoding = encoding ? *encoding : detect_encoding(bytes);
        if (!encoding && layout.encoding == Encoding::cp1251 && has_utf8_letters(bytes)) {
            layout.warning = "Внимание: в файле есть буквы UTF-8, но " + first_stray_byte(bytes) +
                             " не UTF-8: файл прочитан как Windows-1251. Если это не так, "
                             "укажите --encoding utf-8";
        }
    }
    if (bytes.find_first_not_of("\r\n", layout.from) == std::string::npos) {
        return "в файле нет ни одной строки";
    }
    if (separator) {
        layout.separator = *separator;
        return {};
    }
    std::string quote_error;
    std::optional<char> found = detect_separator(bytes.substr(layout.from, 1u << 20), &quote_error);
    if (!found && !quote_error.empty()) {
        return quote_error;
    }
    if (!found) {
        return "разделитель не определился: ни \";\", ни табуляция, ни \",\" не делят строки "
               "на одинаковое число столбцов; укажите --separator";
    }
    layout.separator = *found;
    return {};
}

CsvReader::CsvReader(const std::string& text, const CsvLayout& layout)
    : text_(text), layout_(layout), at_(layout.from) {}

bool CsvReader::next(CsvRow& row, std::string& error) {
    for (;;) {
        if (!read_row(text_, at_, layout_.separator, line_, row, error)) {
            return false;
        }
        if (row.size == 0) {
            continue;  // an empty line
        }
        if (layout_.encoding == Encoding::cp1251) {
            for (std::string& field : row.fields) {
                // Digits and Latin letters are the same bytes in both.
                bool ascii = std::all_of(field.begin(), field.end(), [](char c) {
                    return static_cast<unsigned char>(c) < 0x80;
                });
                if (!ascii) {
                    field = cp1251_to_utf8(field);
                }
            }
        }
        return true;
    }
}

std::string read_csv(const std::string& bytes, std::optional<Encoding> encoding,
                     std::optional<char> separator, CsvTable& table) {
    table = {};
    std::string text = bytes;
    CsvLayout layout;
    std::string error = open_csv(text, encoding, separator, layout);
    if (!error.empty()) {
        return error;
    }
    table.encoding = layout.encoding;
    table.separator = layout.separator;
    table.bom = layout.bom;
    CsvReader reader(text, layout);
    for (CsvRow row; reader.next(row, error);) {
        row.raw = text.substr(row.start, row.size);
        table.rows.push_back(row);
    }
    if (!error.empty()) {
        return error;
    }
    return table.rows.empty() ? "в файле нет ни одной строки" : "";
}

}  // namespace ringlist
