// ringlist import: a billing system's CSV made into a list of 20-byte records, every row left
// out written with its reason beside the list.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

#include "base/plain_text.h"
#include "base/system_reason.h"
#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "campaign/subscriber_list.h"
#include "files/durable_file.h"
#include "files/regular_file.h"
#include "ringlist/held_list.h"
#include "ringlist/import/csv_table.h"
#include "ringlist/import/number_rules.h"
#include "ringlist/import/stop_list.h"
#include "ringlist/plural.h"
#include "ringlist/ringlist_commands.h"
#include "ringlist/split_state.h"

namespace ringlist {

namespace {

// A billing export past this is not one a rack can call through.
constexpr std::uintmax_t CSV_LIMIT = 1u << 30;

// A row taken into the list, kept small: a city's export has a million of them. The number is
// its seven digits as a number (leading zeros come back when it is written); start and size
// say where the row stands in the text read (an export is under 4 GB: see CSV_LIMIT).
struct Kept {
    int line = 0;
    uint32_t number = 0;
    int32_t amount = 0;
    uint32_t start = 0;
    uint32_t size = 0;
    bool left_out = false;  // a repeat, or reject-all's first row of a repeated number
};

struct Rejected {
    int line = 0;
    Reject reject = Reject::none;
    int other_line = 0;  // the repeat's other row
    long sum = 0;        // sum_long: the sum that is too long
    size_t start = 0;
    size_t size = 0;
};

struct Conversion {
    std::vector<Kept> kept;
    std::vector<Rejected> rejected;
    std::array<int, REJECT_KINDS> counts{};
    size_t rows = 0;    // data rows read (the header not among them)
    size_t merged = 0;  // --duplicates sum: rows added to an earlier row's amount
    size_t blank = 0;   // rows with no value in any field, as a formatted sheet saves them
    size_t widest = 0;  // the most fields of any row
};

struct Columns {
    int number = -1;
    int amount = -1;
};

// A column by its number from 1, or by its header's name (letter case aside). -1 and why when
// there is none.
int find_column(const std::string& name, const CsvRow* header, std::string& why) {
    long index = 0;
    if (core::whole_number(name, 1, 1000, index)) {
        return static_cast<int>(index - 1);
    }
    if (header == nullptr) {
        why = "столбец \"" + name + "\" назван по имени, а заголовка нет (--header)";
        return -1;
    }
    const std::vector<std::string>& names = header->fields;
    std::string listed;
    for (size_t i = 0; i < names.size(); ++i) {
        if (lowercase(core::trimmed(names[i])) == lowercase(core::trimmed(name))) {
            return static_cast<int>(i);
        }
        listed += (i == 0 ? "" : ", ") + ("\"" + core::trimmed(names[i]) + "\"");
    }
    why = "нет столбца \"" + name + "\" (в заголовке: " + listed + ")";
    return -1;
}

void reject(Conversion& c, const CsvRow& row, Reject why) {
    c.rejected.push_back({row.line, why, 0, 0, row.start, row.size});
    ++c.counts[static_cast<int>(why)];
}

// Repeats, once every row is read: the rows of each number in file order, the first kept and
// the rest taken by the mode of --duplicates. Sorting costs less than a map of every number
// while rows are read.
void take_repeats(Conversion& c, const std::string& mode) {
    // Number above, row below: one plain sort puts each number's rows together in file order.
    std::vector<uint64_t> keys(c.kept.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        keys[i] = static_cast<uint64_t>(c.kept[i].number) << 32 | i;
    }
    std::sort(keys.begin(), keys.end());
    auto at = [&](size_t k) { return static_cast<uint32_t>(keys[k] & 0xFFFFFFFFu); };
    for (size_t i = 0; i < keys.size();) {
        size_t j = i + 1;
        while (j < keys.size() && c.kept[at(j)].number == c.kept[at(i)].number) {
            ++j;
        }
        Kept& first = c.kept[at(i)];
        for (size_t k = i + 1; k < j; ++k) {
            Kept& repeat = c.kept[at(k)];
            repeat.left_out = true;
            long sum = static_cast<long>(first.amount) + repeat.amount;
            if (mode == "sum" && sum <= 9999999) {
                first.amount = static_cast<int32_t>(sum);
                ++c.merged;
                continue;
            }
            Rejected r{repeat.line,  mode == "sum" ? Reject::sum_long : Reject::repeat,
                       first.line,   mode == "sum" ? sum : 0,
                       repeat.start, repeat.size};
            c.rejected.push_back(r);
            ++c.counts[static_cast<int>(r.reject)];
        }
        if (mode == "reject-all" && j - i > 1) {
            first.left_out = true;
            c.rejected.push_back(
                {first.line, Reject::repeat, c.kept[at(i + 1)].line, 0, first.start, first.size});
            ++c.counts[static_cast<int>(Reject::repeat)];
        }
        i = j;
    }
}

// Fields up to the last one that holds a value: a separator at a row's end, as some exports
// write after every value, is no field of its own.
size_t filled_width(const std::vector<std::string>& fields) {
    size_t width = fields.size();
    while (width > 0 && fields[width - 1].find_first_not_of(" \t\r") == std::string::npos) {
        --width;
    }
    return width;
}

bool blank_row(const CsvRow& row) {
    for (const std::string& field : row.fields) {
        if (field.find_first_not_of(" \t\r") != std::string::npos) {
            return false;
        }
    }
    return true;
}

// Row by row as the reader gives them, nothing kept of a row but what the list and the
// rejects need. A row with more filled fields than the header names has a separator inside a
// field that was not quoted: every column after it is shifted, and its number or amount would
// be another column's. Empty fields after the last value are no such sign.
std::string convert(CsvReader& reader, const ImportOptions& o, Columns columns, size_t header_width,
                    const std::vector<std::string>& prefixes, const std::set<std::string>& stop,
                    const std::set<std::string>& in_list, Conversion& c) {
    std::string error;
    CsvRow row;
    while (reader.next(row, error)) {
        ++c.rows;
        c.widest = std::max(c.widest, row.fields.size());
        if (blank_row(row)) {
            ++c.blank;
            continue;
        }
        if (header_width > 0 && filled_width(row.fields) > header_width) {
            reject(c, row, Reject::too_wide);
            continue;
        }
        int fields = static_cast<int>(row.fields.size());
        if (columns.number >= fields || columns.amount >= fields) {
            reject(c, row, Reject::no_column);
            continue;
        }
        std::string number;
        long amount = 0;
        Reject why = normalise_number(row.fields[columns.number], prefixes, number);
        if (why == Reject::none) {
            why = parse_amount(row.fields[columns.amount], amount);
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
        c.kept.push_back({row.line, static_cast<uint32_t>(std::stoul(number)),
                          static_cast<int32_t>(amount), static_cast<uint32_t>(row.start),
                          static_cast<uint32_t>(row.size), false});
    }
    take_repeats(c, o.duplicates);
    return error;
}

std::string list_bytes(const std::vector<Kept>& kept) {
    std::string bytes;
    bytes.reserve(kept.size() * campaign::RECORD_SIZE + 2);
    for (const Kept& k : kept) {
        if (!k.left_out) {
            // "1234567  " then the amount right-aligned in seven, a blank mark, CR LF.
            char record[20];
            uint32_t number = k.number;
            for (int i = 6; i >= 0; --i, number /= 10) {
                record[i] = static_cast<char>('0' + number % 10);
            }
            long amount = k.amount;
            for (int i = 15; i >= 9; --i) {
                record[i] = i == 15 || amount > 0 ? static_cast<char>('0' + amount % 10) : ' ';
                amount /= 10;
            }
            record[7] = record[8] = record[16] = record[17] = ' ';
            record[18] = '\r';
            record[19] = '\n';
            bytes.append(record, sizeof record);
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

std::string reason_text(const Rejected& r) {
    std::string reason = reject_reason(r.reject);
    if (r.reject == Reject::sum_long) {
        return reason + ": " + std::to_string(r.sum) + " (со строкой " +
               std::to_string(r.other_line) + ")";
    }
    return r.other_line == 0 ? reason : reason + " " + std::to_string(r.other_line);
}

// The rejects file, in the input's encoding and separator: line, reason, the row as it was.
std::string rejects_bytes(const std::string& text, const CsvLayout& layout, const CsvRow* header,
                          Conversion& c) {
    auto encoded = [&](const std::string& utf8) {
        return layout.encoding == Encoding::cp1251 ? utf8_to_cp1251(utf8) : utf8;
    };
    char sep = layout.separator;
    std::string bytes = layout.bom && layout.encoding == Encoding::utf8 ? "\xEF\xBB\xBF" : "";
    if (header != nullptr) {
        bytes += encoded("строка") + sep + encoded("причина") + sep +
                 text.substr(header->start, header->size) + "\r\n";
    }
    std::stable_sort(c.rejected.begin(), c.rejected.end(),
                     [](const Rejected& a, const Rejected& b) { return a.line < b.line; });
    for (const Rejected& r : c.rejected) {
        bytes += std::to_string(r.line) + sep + csv_field(encoded(reason_text(r)), sep) + sep +
                 text.substr(r.start, r.size) + "\r\n";
    }
    return layout.encoding == Encoding::utf16le ? utf8_to_utf16le(bytes) : bytes;
}

// The numbers of the list an --append adds to, and where its records end.
std::set<std::string> numbers_of(const std::string& bytes, size_t& end) {
    std::set<std::string> numbers;
    campaign::ListReview review = campaign::review_list(bytes);
    end = 0;
    for (size_t start : review.record_starts) {
        numbers.insert(bytes.substr(start, 7));
        size_t feed = bytes.find('\n', start);
        end = feed == std::string::npos ? bytes.size() : feed + 1;
    }
    return numbers;
}

void say_counts(const Conversion& c, size_t written, std::ostream& out) {
    out << "Прочитано строк: " << c.rows << ", записано в список: " << written
        << ", отклонено: " << c.rejected.size();
    if (c.merged > 0) {
        out << ", сложено с суммой другой строки: " << c.merged;
    }
    if (c.blank > 0) {
        out << ", пустых строк пропущено: " << c.blank;
    }
    out << "\n";
    for (int k = 1; k < REJECT_KINDS; ++k) {
        if (c.counts[k] > 0) {
            out << "  " << reject_reason(static_cast<Reject>(k)) << ": " << c.counts[k] << "\n";
        }
    }
}

std::filesystem::path beside(const std::filesystem::path& list, const char* suffix) {
    return list.parent_path() / core::utf8_path(core::path_utf8(list.filename()) + suffix);
}

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

// The list and its rejects are one result: a kill between their two renames must not leave a
// new list beside the old rejects (or the old list beside new rejects). Before the list is
// renamed into place, a journal (LIST.import) names what the new list holds (its length and
// checksums) and what becomes of the rejects; it goes when both are in place. An import that
// finds a journal finishes the last one first: a list that matches it was renamed, and its
// rejects are put in place too; one that does not was never renamed, and its rejects.new is
// dropped. Each step of the rejects is done only when its file still says it is to do, so
// finishing twice changes nothing.
struct Journal {
    uint64_t size = 0;
    uint64_t checksum = 0;
    uint64_t blind = 0;          // the checksum with every record's mark blank (0: not known)
    bool new_rejects = false;    // LIST.rejects.csv.new takes the rejects' place
    bool keep_old = false;       // the old rejects were this import's input: kept as .bak
    bool drop_attempts = false;  // a list written anew: the old list's attempts go
};

uint64_t checksum_of(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : bytes) {
        h = (h ^ c) * 1099511628211ull;
    }
    return h;
}

// The checksum of a list whatever its marks: Dialrun, retry or exclude may have marked the new
// list after a kill, and it is still the import's list.
uint64_t blind_checksum(std::string bytes) {
    for (size_t start : campaign::review_list(bytes).record_starts) {
        bytes[start + campaign::MARK_COLUMN] = ' ';
    }
    return checksum_of(bytes) | 1;  // never 0, which says "not known"
}

std::string journal_text(const Journal& j) {
    return "# ringlist import: список и отклоненные строки на полпути, не править руками\n"
           "list " +
           std::to_string(j.size) + " " + std::to_string(j.checksum) + "\nrejects " +
           (j.new_rejects ? "new" : "none") + (j.keep_old ? " keep" : "") + "\nblind " +
           std::to_string(j.blind) + "\n" + (j.drop_attempts ? "attempts drop\n" : "");
}

bool parse_journal(const std::string& text, Journal& j) {
    char rejects[8] = {};
    char keep[8] = {};
    size_t line = text.find("\nlist ");
    if (line == std::string::npos) {
        return false;
    }
    unsigned long long size = 0;
    unsigned long long sum = 0;
    int got = std::sscanf(text.c_str() + line, "\nlist %llu %llu\nrejects %7s %7s", &size, &sum,
                          rejects, keep);
    j.size = size;
    j.checksum = sum;
    j.new_rejects = std::string(rejects) == "new";
    j.keep_old = got == 4 && std::string(keep) == "keep";
    size_t blind = text.find("\nblind ");
    unsigned long long blind_sum = 0;
    if (blind != std::string::npos &&
        std::sscanf(text.c_str() + blind, "\nblind %llu", &blind_sum) == 1) {
        j.blind = blind_sum;
    }
    j.drop_attempts = text.find("\nattempts drop\n") != std::string::npos;
    return got >= 3;
}

std::string renamed(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return ec ? core::path_utf8(to) + ": " + core::system_reason(ec.value()) : "";
}

// The rejects' part of a journal, done step by step so that doing it again is harmless. With
// drop_attempts, the old list's attempts go too (not when the list was marked since: then
// the attempts are the new list's own).
std::string place_rejects(const std::filesystem::path& list, const Journal& j, bool drop_attempts) {
    std::filesystem::path rejects = beside(list, ".rejects.csv");
    std::filesystem::path fresh = beside(list, ".rejects.csv.new");
    std::error_code ec;
    bool fresh_there = std::filesystem::exists(fresh, ec);
    if (drop_attempts && j.drop_attempts) {
        std::filesystem::remove(campaign::attempts_path(list), ec);
        if (ec) {
            return core::path_utf8(campaign::attempts_path(list)) + ": " +
                   core::system_reason(ec.value());
        }
    }
    std::string error;
    if (j.keep_old && (fresh_there || !j.new_rejects) && std::filesystem::exists(rejects, ec)) {
        error = renamed(rejects, beside(list, ".rejects.csv.bak"));
    } else if (!j.new_rejects && !j.keep_old) {
        std::filesystem::remove(rejects, ec);  // an earlier import's, not this one's
        error = ec ? core::path_utf8(rejects) + ": " + core::system_reason(ec.value()) : "";
    }
    if (error.empty() && j.new_rejects && fresh_there) {
        error = renamed(fresh, rejects);
    }
    if (error.empty()) {
        error = core::sync_folder(list.parent_path());
    }
    if (error.empty()) {
        std::filesystem::remove(beside(list, ".import"), ec);
        error =
            ec ? core::path_utf8(beside(list, ".import")) + ": " + core::system_reason(ec.value())
               : core::sync_folder(list.parent_path());
    }
    return error;
}

// A journal whose list never took its place: the rejects there are not its and stay.
std::string undo_journal(const std::filesystem::path& list) {
    std::error_code ec;
    std::filesystem::remove(beside(list, ".rejects.csv.new"), ec);
    if (!ec) {
        std::filesystem::remove(beside(list, ".import"), ec);
    }
    return ec ? core::system_reason(ec.value()) : core::sync_folder(list.parent_path());
}

// An earlier import cut short: finished, or undone, as its journal says. false when it
// cannot be.
bool finish_earlier(const std::filesystem::path& list, std::ostream& out) {
    std::filesystem::path journal = beside(list, ".import");
    std::error_code ec;
    if (!std::filesystem::exists(journal, ec)) {
        // Rejects written aside by an import killed before its journal: never anyone's.
        std::filesystem::path fresh = beside(list, ".rejects.csv.new");
        if (std::filesystem::remove(fresh, ec)) {
            out << "Удален недописанный файл прерванного импорта: " << core::path_utf8(fresh)
                << "\n";
        }
        return true;
    }
    std::string error;
    Journal j;
    std::string text = core::read_regular_file(journal, error, 4096);
    if (!error.empty() || !parse_journal(text, j)) {
        out << "Список не записан: прерванный импорт оставил " << core::path_utf8(journal)
            << ", он не читается" << (error.empty() ? "" : ": " + error) << "\n";
        return false;
    }
    std::string now;
    bool there = std::filesystem::exists(list, ec);
    if (there) {
        now = core::read_regular_file(list, error, CSV_LIMIT);
    }
    bool exact = error.empty() && there && now.size() == j.size && checksum_of(now) == j.checksum;
    bool marked_since = !exact && error.empty() && there && now.size() == j.size && j.blind != 0 &&
                        blind_checksum(now) == j.blind;
    error = exact || marked_since ? place_rejects(list, j, exact) : undo_journal(list);
    if (!error.empty()) {
        out << "Список не записан: прерванный импорт не доведен: " << error << "\n";
        return false;
    }
    if (exact) {
        out << "Прерванный импорт доведен до конца: его список на месте, отклоненные строки "
               "поставлены к нему\n";
    } else if (marked_since) {
        out << "Прерванный импорт доведен до конца: его список на месте (с отметками, "
               "поставленными после), отклоненные строки поставлены к нему\n";
    } else {
        out << "Прерванный импорт отменен: его списка нет на месте, отклоненные строки "
               "оставлены как были\n";
    }
    return true;
}

// A name the import replaces must be a regular file, if it is there at all: a link that leads
// nowhere, a folder or a FIFO in the list's place would be replaced by a file. Beside the list
// (its rejects and their copy) only a link is refused: a folder there fails the rename, which
// is said, and the next import finishes the step. "" or why.
std::string place_refusal(const std::filesystem::path& path, bool is_list) {
    std::error_code ec;
    std::filesystem::file_status link = std::filesystem::symlink_status(path, ec);
    if (ec || !std::filesystem::exists(link)) {
        return {};  // nothing there (what else is wrong is said by the write)
    }
    std::filesystem::file_status target = std::filesystem::status(path, ec);
    if (std::filesystem::is_regular_file(target) ||
        (!is_list && !std::filesystem::is_symlink(link))) {
        return {};
    }
    return core::path_utf8(path) + ": " + core::NOT_A_FILE +
           (std::filesystem::exists(target) ? "" : " (ссылка, которая никуда не ведет)");
}

}  // namespace

int import_list(const ImportOptions& o, std::ostream& out) {
    if (o.duplicates != "first" && o.duplicates != "sum" && o.duplicates != "reject-all") {
        out << "--duplicates: first, sum или reject-all, а не \"" << o.duplicates << "\"\n";
        return USAGE;
    }
    for (const auto& [option, column] :
         {std::pair{"--number", &o.number_column}, std::pair{"--amount", &o.amount_column}}) {
        long index = 0;
        bool digits =
            !column->empty() && column->find_first_not_of("0123456789") == std::string::npos;
        if (digits && !core::whole_number(*column, 1, 1000, index)) {
            out << option << " " << *column << ": столбцы считаются с 1 (до 1000)\n";
            return USAGE;
        }
    }
    std::vector<std::string> prefixes;
    if (!prefix_option(o.prefixes, prefixes, out)) {
        return USAGE;
    }
    std::filesystem::path rejects_file = beside(o.list, ".rejects.csv");
    if (same_file(o.csv, o.list) || (!o.exclude.empty() && same_file(o.exclude, o.list))) {
        out << "Список не записан: "
            << core::path_utf8(same_file(o.csv, o.list) ? o.csv : o.exclude) << " - это сам список "
            << core::path_utf8(o.list) << "\n";
        return REFUSED;
    }
    std::string error;
    std::string text = core::read_regular_file(o.csv, error, CSV_LIMIT);
    if (!error.empty()) {
        out << "Нет файла " << core::path_utf8(o.csv) << ": " << error << "\n";
        return REFUSED;
    }
    CsvLayout layout;
    error = open_csv(text, o.encoding, o.separator, layout);
    if (!error.empty()) {
        out << "Файл " << core::path_utf8(o.csv) << " не прочитан: " << error << "\n";
        return REFUSED;
    }
    if (!layout.warning.empty()) {
        out << layout.warning << "\n";
    }
    CsvReader reader(text, layout);
    CsvRow header;
    if (o.header && !reader.next(header, error)) {
        out << "Файл " << core::path_utf8(o.csv)
            << " не прочитан: " << (error.empty() ? "в файле нет ни одной строки" : error) << "\n";
        return REFUSED;
    }
    std::string why;
    Columns columns;
    columns.number = find_column(o.number_column, o.header ? &header : nullptr, why);
    if (columns.number >= 0) {
        columns.amount = find_column(o.amount_column, o.header ? &header : nullptr, why);
    }
    if (columns.number >= 0 && columns.number == columns.amount) {
        why = "--number и --amount называют один столбец (" + std::to_string(columns.number + 1) +
              "): номер и сумма должны быть в разных";
        columns.amount = -1;
    }
    if (columns.number < 0 || columns.amount < 0) {
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
    for (const char* suffix : {"", ".rejects.csv", ".rejects.csv.bak"}) {
        std::string refusal = place_refusal(beside(o.list, suffix), *suffix == '\0');
        if (!refusal.empty()) {
            out << "Список не записан: " << refusal << "\n";
            return REFUSED;
        }
    }
    std::error_code ec;
    std::filesystem::path folder = o.list.parent_path();
    if (!folder.empty() && !std::filesystem::exists(folder, ec)) {
        // A new campaign's folder: made as the operator named it.
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            out << "Нет папки " << core::path_utf8(folder)
                << " для списка, и она не создана: " << core::system_reason(ec.value()) << "\n";
            return REFUSED;
        }
        out << "Создана папка " << core::path_utf8(folder) << "\n";
    }
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
        for (const std::filesystem::path& aside : held.clear_asides()) {
            out << "Удален недописанный файл прерванной записи: " << core::path_utf8(aside) << "\n";
        }
    }
    // A master whose parts are out: their marks come back by record position, which a new
    // list would give to other subscribers.
    SplitState cut;
    if (deal_cut_short(o.list, held.bytes(), cut)) {
        out << "Список не записан. " << cut_deal_advice(o.list, cut) << "\n";
        return REFUSED;
    }
    if (deal_open(o.list)) {
        out << "Список роздан на части и раздача не собрана ("
            << core::path_utf8(state_path(o.list)) << "): сначала merge, потом import\n";
        return REFUSED;
    }
    if (!finish_earlier(o.list, out)) {
        return REFUSED;
    }
    if (o.append) {
        in_list = numbers_of(held.bytes(), records_end);
    }
    Conversion c;
    // The header's names up to the last one given: a header ended by a separator names no
    // column more.
    size_t header_width =
        o.header ? std::max({filled_width(header.fields), static_cast<size_t>(columns.number) + 1,
                             static_cast<size_t>(columns.amount) + 1})
                 : 0;
    error = convert(reader, o, columns, header_width, prefixes, stop, in_list, c);
    if (!error.empty()) {
        out << "Файл " << core::path_utf8(o.csv) << " не прочитан: " << error << "\n";
        return REFUSED;
    }
    if (static_cast<size_t>(std::max(columns.number, columns.amount)) >= c.widest) {
        out << "Список не записан: нет столбца "
            << std::to_string(std::max(columns.number, columns.amount) + 1)
            << ": в строках файла не больше " << c.widest << "\n";
        return REFUSED;
    }
    std::string records = list_bytes(c.kept);
    size_t written = records.size() / campaign::RECORD_SIZE;
    if (written == 0) {
        say_counts(c, 0, out);
        out << "Список не записан: ни одна строка не принята\n";
        return REFUSED;
    }
    std::string list;
    if (o.append) {
        const std::string& old = held.bytes();
        list = old.substr(0, records_end);
        if (!list.empty() && list.back() != '\n') {
            list += "\r\n";
        }
        list += records;
        list += records_end < old.size() ? old.substr(records_end) : "\r\n";
    } else {
        list.swap(records);
        list += "\r\n";
    }
    std::string().swap(records);
    // The rejects first, beside their place; then the journal; then the list; then the rejects
    // into place: see Journal.
    unsigned mode = exists ? core::file_mode(o.list) : core::file_mode(o.csv);
    Journal journal;
    journal.size = list.size();
    journal.checksum = checksum_of(list);
    journal.blind = blind_checksum(list);
    journal.drop_attempts = exists && !o.append;
    journal.new_rejects = !c.rejected.empty();
    journal.keep_old = same_file(o.csv, rejects_file);
    if (journal.new_rejects) {
        std::filesystem::path fresh = beside(o.list, ".rejects.csv.new");
        std::filesystem::remove(fresh, ec);
        error = core::write_new_file(
            fresh, rejects_bytes(text, layout, o.header ? &header : nullptr, c), mode);
    }
    if (error.empty()) {
        error = core::replace_file(beside(o.list, ".import"), journal_text(journal));
    }
    if (!error.empty()) {
        std::filesystem::remove(beside(o.list, ".rejects.csv.new"), ec);
        out << "Список не записан: " << error << "\n";
        return REFUSED;
    }
    std::string backup;
    bool placed = false;  // the new list took its place, whatever failed after
    if (exists) {
        backup = backup_name(held.path());
        error = held.replace(list, backup);
        placed = held.renamed();
    } else {
        error = core::replace_file(o.list, list, mode);
        placed = std::filesystem::exists(o.list, ec);  // there was none before
        if (placed && !error.empty()) {
            error = "список записан, но папку не удалось записать на диск (" + error +
                    "): после сбоя питания его может не оказаться";
        }
    }
    if (!placed) {
        out << "Список не записан: " << error << "\n";
        // The journal decides by what is on the disk, as after a kill.
        finish_earlier(o.list, out);
        return REFUSED;
    }
    say_counts(c, written, out);
    out << (o.append ? "Дописано в список " : "Записан список ") << core::path_utf8(o.list);
    out << (backup.empty() ? "" : "; прежний сохранен в " + backup) << "\n";
    if (!error.empty()) {
        out << "Внимание: " << error << "\n";
    }
    // A list written anew starts with no attempts (its positions are other records'): they
    // go with the rejects' step, so that a kill before it leaves the step to the next import.
    error = place_rejects(o.list, journal, true);
    if (!error.empty()) {
        out << "Отклоненные строки не на месте: " << error
            << "; следующий import доведет их до конца\n";
        return REFUSED;
    }
    if (journal.keep_old) {
        out << "Прежние отклоненные строки сохранены в "
            << core::path_utf8(beside(o.list, ".rejects.csv.bak")) << "\n";
    }
    if (journal.new_rejects) {
        out << "Отклоненные строки с причинами: " << core::path_utf8(rejects_file) << "\n";
    }
    return DONE;
}

}  // namespace ringlist
