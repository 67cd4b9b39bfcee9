// ringlist import: a billing system's CSV made into a list of 20-byte records, every row left
// out written with its reason beside the list.

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

#include "base/plain_text.h"
#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "campaign/subscriber_list.h"
#include "files/durable_file.h"
#include "ringlist/held_list.h"
#include "ringlist/import/csv_table.h"
#include "ringlist/import/number_rules.h"
#include "ringlist/import/stop_list.h"
#include "ringlist/plural.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

namespace {

struct Kept {
    int line = 0;
    std::string number;
    long amount = 0;
    bool dropped = false;  // reject-all: the first row of a repeated number
};

struct Rejected {
    int line = 0;
    Reject reject = Reject::none;
    int other_line = 0;  // the repeat's other row
    std::string raw;
};

struct Conversion {
    std::vector<Kept> kept;
    std::vector<Rejected> rejected;
    std::array<int, REJECT_KINDS> counts{};
};

std::string lowercase_ascii(std::string text) {
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

// A column by its number from 1, or by its header's name. -1 and why when there is none.
int find_column(const std::string& name, const CsvTable& table, bool header, std::string& why) {
    long index = 0;
    if (core::whole_number(name, 1, 1000, index)) {
        size_t widest = 0;
        for (const CsvRow& row : table.rows) {
            widest = std::max(widest, row.fields.size());
        }
        if (static_cast<size_t>(index) > widest) {
            why = "нет столбца " + name + ": в строках файла не больше " + std::to_string(widest);
            return -1;
        }
        return static_cast<int>(index - 1);
    }
    if (!header) {
        why = "столбец \"" + name + "\" назван по имени, а заголовка нет (--header)";
        return -1;
    }
    const std::vector<std::string>& names = table.rows[0].fields;
    std::string listed;
    for (size_t i = 0; i < names.size(); ++i) {
        if (lowercase_ascii(core::trimmed(names[i])) == lowercase_ascii(core::trimmed(name))) {
            return static_cast<int>(i);
        }
        listed += (i == 0 ? "" : ", ") + ("\"" + core::trimmed(names[i]) + "\"");
    }
    why = "нет столбца \"" + name + "\" (в заголовке: " + listed + ")";
    return -1;
}

void reject(Conversion& c, const CsvRow& row, Reject why, int other_line = 0) {
    c.rejected.push_back({row.line, why, other_line, row.raw});
    ++c.counts[static_cast<int>(why)];
}

// The repeat of a number already kept, by the mode of --duplicates.
void take_repeat(Conversion& c, const CsvRow& row, Kept& first, long amount,
                 const std::string& mode) {
    if (mode == "sum" && first.amount + amount <= 9999999) {
        first.amount += amount;
        return;
    }
    if (mode == "sum") {
        reject(c, row, Reject::amount_long);
        return;
    }
    if (mode == "reject-all" && !first.dropped) {
        first.dropped = true;
        c.rejected.push_back({first.line, Reject::repeat, row.line, ""});
        ++c.counts[static_cast<int>(Reject::repeat)];
    }
    reject(c, row, Reject::repeat, first.line);
}

Conversion convert(const CsvTable& table, const ImportOptions& o, int number_column,
                   int amount_column, const std::vector<std::string>& prefixes,
                   const std::set<std::string>& stop, const std::set<std::string>& in_list,
                   std::map<int, std::string>& raw_of_line) {
    Conversion c;
    std::map<std::string, size_t> first_of;
    for (size_t r = o.header ? 1 : 0; r < table.rows.size(); ++r) {
        const CsvRow& row = table.rows[r];
        raw_of_line[row.line] = row.raw;
        int columns = static_cast<int>(row.fields.size());
        if (number_column >= columns || amount_column >= columns) {
            reject(c, row, Reject::no_column);
            continue;
        }
        std::string number;
        long amount = 0;
        Reject why = normalise_number(row.fields[number_column], prefixes, number);
        if (why == Reject::none) {
            why = parse_amount(row.fields[amount_column], amount);
        }
        if (why == Reject::none && stop.count(number) != 0) {
            why = Reject::stop_list;
        }
        if (why == Reject::none && in_list.count(number) != 0) {
            why = Reject::in_list;
        }
        if (why != Reject::none) {
            reject(c, row, why);
            continue;
        }
        auto first = first_of.find(number);
        if (first != first_of.end()) {
            take_repeat(c, row, c.kept[first->second], amount, o.duplicates);
            continue;
        }
        first_of[number] = c.kept.size();
        c.kept.push_back({row.line, number, amount, false});
    }
    return c;
}

std::string list_bytes(const std::vector<Kept>& kept) {
    std::string bytes;
    for (const Kept& k : kept) {
        if (!k.dropped) {
            char record[32];
            std::snprintf(record, sizeof record, "%s  %7ld  \r\n", k.number.c_str(), k.amount);
            bytes += record;
        }
    }
    return bytes;
}

std::string csv_field(const std::string& text, char separator) {
    if (text.find_first_of(std::string(1, separator) + "\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

// The rejects file, in the input's encoding and separator: line, reason, the row as it was.
std::string rejects_bytes(const CsvTable& table, bool header, Conversion& c,
                          const std::map<int, std::string>& raw_of_line) {
    auto encoded = [&](const std::string& text) {
        return table.encoding == Encoding::cp1251 ? utf8_to_cp1251(text) : text;
    };
    char sep = table.separator;
    std::string bytes = table.bom ? "\xEF\xBB\xBF" : "";
    if (header) {
        bytes += encoded("строка") + sep + encoded("причина") + sep + table.rows[0].raw + "\r\n";
    }
    std::stable_sort(c.rejected.begin(), c.rejected.end(),
                     [](const Rejected& a, const Rejected& b) { return a.line < b.line; });
    for (const Rejected& r : c.rejected) {
        std::string reason = reject_reason(r.reject);
        if (r.other_line != 0) {
            reason += " " + std::to_string(r.other_line);
        }
        std::string raw = r.raw.empty() ? raw_of_line.at(r.line) : r.raw;
        bytes +=
            std::to_string(r.line) + sep + csv_field(encoded(reason), sep) + sep + raw + "\r\n";
    }
    return bytes;
}

// The numbers of the list an --append adds to, and where its records end.
std::set<std::string> numbers_of(const std::string& bytes, size_t& end) {
    std::set<std::string> numbers;
    dialrun::ListReview review = dialrun::review_list(bytes);
    end = 0;
    for (size_t start : review.record_starts) {
        numbers.insert(bytes.substr(start, 7));
        size_t feed = bytes.find('\n', start);
        end = feed == std::string::npos ? bytes.size() : feed + 1;
    }
    return numbers;
}

void say_counts(const Conversion& c, size_t rows, size_t written, std::ostream& out) {
    out << "Прочитано строк: " << rows << ", записано в список: " << written
        << ", отклонено: " << c.rejected.size() << "\n";
    for (int k = 1; k < REJECT_KINDS; ++k) {
        if (c.counts[k] > 0) {
            out << "  " << reject_reason(static_cast<Reject>(k)) << ": " << c.counts[k] << "\n";
        }
    }
}

}  // namespace

int import_list(const ImportOptions& o, std::ostream& out) {
    if (o.duplicates != "first" && o.duplicates != "sum" && o.duplicates != "reject-all") {
        out << "--duplicates: first, sum или reject-all, а не \"" << o.duplicates << "\"\n";
        return USAGE;
    }
    std::vector<std::string> prefixes;
    if (!o.prefixes.empty()) {
        std::string wrong = parse_prefixes(o.prefixes, prefixes);
        if (!wrong.empty()) {
            out << "--prefix: " << wrong << "\n";
            return USAGE;
        }
    }
    std::string error;
    std::string csv = core::read_file_bytes(o.csv, error);
    if (!error.empty()) {
        out << "Нет файла " << core::path_utf8(o.csv) << ": " << error << "\n";
        return REFUSED;
    }
    CsvTable table;
    error = read_csv(csv, o.encoding, o.separator, table);
    if (!error.empty()) {
        out << "Файл " << core::path_utf8(o.csv) << " не прочитан: " << error << "\n";
        return REFUSED;
    }
    std::string why;
    int number_column = find_column(o.number_column, table, o.header, why);
    int amount_column = number_column < 0 ? -1 : find_column(o.amount_column, table, o.header, why);
    if (number_column < 0 || amount_column < 0) {
        out << "Список не записан: " << why << "\n";
        return REFUSED;
    }
    std::set<std::string> stop;
    if (!o.exclude.empty()) {
        error = read_stop_list(o.exclude, prefixes, stop);
        if (!error.empty()) {
            out << "Список не записан: " << error << "\n";
            return REFUSED;
        }
    }
    std::error_code ec;
    std::filesystem::path folder = o.list.parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        out << "Нет папки " << core::path_utf8(folder) << " для списка\n";
        return REFUSED;
    }
    bool exists = std::filesystem::exists(o.list, ec);
    HeldList held;
    std::set<std::string> in_list;
    size_t records_end = 0;
    if (o.append && !exists) {
        out << "Нет списка " << core::path_utf8(o.list) << ", дописывать некуда\n";
        return REFUSED;
    }
    if (o.append && !hold_list(o.list, held, out)) {
        return REFUSED;
    }
    if (exists && !o.append) {
        error = held.hold(o.list);
        if (!error.empty()) {
            out << "Список " << core::path_utf8(o.list) << " не заменен: " << error << "\n";
            return REFUSED;
        }
    }
    if (o.append) {
        in_list = numbers_of(held.bytes(), records_end);
    }
    std::map<int, std::string> raw_of_line;
    Conversion c =
        convert(table, o, number_column, amount_column, prefixes, stop, in_list, raw_of_line);
    size_t rows = table.rows.size() - (o.header ? 1 : 0);
    std::string records = list_bytes(c.kept);
    size_t written = records.size() / dialrun::RECORD_SIZE;
    if (written == 0) {
        say_counts(c, rows, 0, out);
        out << "Список не записан: ни одна строка не принята\n";
        return REFUSED;
    }
    std::string backup;
    if (o.append) {
        std::string old = held.bytes();
        std::string before = old.substr(0, records_end);
        if (!before.empty() && before.back() != '\n') {
            before += "\r\n";
        }
        std::string rest = records_end < old.size() ? old.substr(records_end) : "\r\n";
        backup = backup_name(held.path());
        error = held.replace(before + records + rest, backup);
    } else if (exists) {
        backup = backup_name(held.path());
        error = held.replace(records + "\r\n", backup);
        // A list written anew starts with no attempts: its positions are other records'.
        if (error.empty()) {
            std::filesystem::remove(campaign::attempts_path(held.path()), ec);
        }
    } else {
        error = core::write_new_file(o.list, records + "\r\n", core::file_mode(o.csv));
        if (error.empty()) {
            error = core::sync_folder(o.list.parent_path());
        }
    }
    if (!error.empty()) {
        out << "Список не записан: " << error << "\n";
        return REFUSED;
    }
    say_counts(c, rows, written, out);
    out << (o.append ? "Дописано в список " : "Записан список ") << core::path_utf8(o.list);
    out << (backup.empty() ? "" : "; прежний сохранен в " + backup) << "\n";
    std::filesystem::path rejects =
        o.list.parent_path() / core::utf8_path(core::path_utf8(o.list.filename()) + ".rejects.csv");
    if (c.rejected.empty()) {
        std::filesystem::remove(rejects, ec);  // an earlier import's, not this one's
        return DONE;
    }
    error = core::replace_file(rejects, rejects_bytes(table, o.header, c, raw_of_line),
                               core::file_mode(o.list));
    if (!error.empty()) {
        out << "Отклоненные строки не записаны: " << error << "\n";
        return DONE;
    }
    out << "Отклоненные строки с причинами: " << core::path_utf8(rejects) << "\n";
    return DONE;
}

}  // namespace ringlist
