#include "ringlist/import/csv_table.h"

#include <cstdint>

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

// Splits bytes into rows; a quote opens a field only at its start.
std::string split_rows(const std::string& bytes, size_t from, char separator,
                       std::vector<CsvRow>& rows) {
    size_t i = from;
    int line = 1;
    while (i < bytes.size()) {
        CsvRow row;
        row.line = line;
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
                    line += c == '\n';
                    field += c;
                }
            } else if (c == '"' && field.empty() && !quoted_field) {
                in_quotes = quoted_field = true;
            } else if (c == separator) {
                row.fields.push_back(field);
                field.clear();
                quoted_field = false;
            } else if (c == '\n' || c == '\r') {
                break;
            } else {
                field += c;
            }
        }
        if (in_quotes) {
            return "строка " + std::to_string(row.line) + ": кавычка не закрыта до конца файла";
        }
        size_t end = i;
        if (i < bytes.size() && bytes[i] == '\r') {
            ++i;
        }
        if (i < bytes.size() && bytes[i] == '\n') {
            ++i;
        }
        ++line;
        row.fields.push_back(field);
        row.raw = bytes.substr(start, end - start);
        if (!row.raw.empty()) {
            rows.push_back(row);
        }
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

char detect_separator(const std::string& bytes) {
    for (char candidate : {';', '\t', ','}) {
        std::vector<CsvRow> rows;
        if (!split_rows(bytes.substr(0, 4096), 0, candidate, rows).empty() || rows.empty()) {
            continue;
        }
        // The first rows but the last, which the cut at 4096 bytes may have torn.
        size_t look = rows.size() > 1 ? std::min<size_t>(rows.size() - 1, 20) : 1;
        bool alike = rows[0].fields.size() >= 2;
        for (size_t r = 1; r < look && alike; ++r) {
            alike = rows[r].fields.size() == rows[0].fields.size();
        }
        if (alike) {
            return candidate;
        }
    }
    return ';';
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

std::string read_csv(const std::string& bytes, std::optional<Encoding> encoding,
                     std::optional<char> separator, CsvTable& table) {
    if (bytes.empty()) {
        return "пустой файл";
    }
    if (bytes.find('\0') != std::string::npos) {
        return "не текст: в файле нулевые байты (таблица Excel, а не CSV?)";
    }
    table = {};
    table.bom = bytes.compare(0, 3, BOM) == 0;
    table.encoding = encoding ? *encoding : detect_encoding(bytes);
    size_t from = table.bom ? 3 : 0;
    table.separator = separator ? *separator : detect_separator(bytes.substr(from));
    std::string error = split_rows(bytes, from, table.separator, table.rows);
    if (!error.empty()) {
        return error;
    }
    if (table.encoding == Encoding::cp1251) {
        for (CsvRow& row : table.rows) {
            for (std::string& field : row.fields) {
                field = cp1251_to_utf8(field);
            }
        }
    }
    return table.rows.empty() ? "в файле нет ни одной строки" : "";
}

}  // namespace ringlist
