// ringlist check: the list as "Старт Прозвонки" would take it, every bad line named.

#include <algorithm>
#include <cstdint>
#include <utility>

#include "base/utf8_text.h"
#include "campaign/subscriber_list.h"
#include "files/durable_file.h"
#include "ringlist/campaign_folder.h"
#include "ringlist/plural.h"
#include "ringlist/report/report.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

namespace {

// Each number that stands in more than one record, with the lines it stands on, in the order
// of their first line; returns how many records repeat an earlier one. Sorted, not mapped: a
// city's list of a million records is checked in well under a second.
size_t say_repeats(const std::string& bytes, const std::vector<ListRecord>& records, bool as_fault,
                   std::ostream& out) {
    // The number's seven bytes in one word, first byte highest, so words sort as numbers do.
    std::vector<std::pair<uint64_t, size_t>> by_number;  // number, record index
    by_number.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        uint64_t word = 0;
        for (size_t k = 0; k < 8; ++k) {
            unsigned char c = k < records[i].number.size() ? records[i].number[k] : 0;
            word = word << 8 | c;
        }
        by_number.emplace_back(word, i);
    }
    std::sort(by_number.begin(), by_number.end());
    std::vector<std::vector<size_t>> groups;  // record indexes of each repeated number
    size_t repeats = 0;
    for (size_t i = 0; i < by_number.size();) {
        size_t j = i + 1;
        while (j < by_number.size() && by_number[j].first == by_number[i].first) {
            ++j;
        }
        if (j - i > 1) {
            groups.emplace_back();
            for (size_t k = i; k < j; ++k) {
                groups.back().push_back(by_number[k].second);
            }
            repeats += j - i - 1;
        }
        i = j;
    }
    std::sort(groups.begin(), groups.end());  // by first record, as the file has them
    std::vector<size_t> line_starts{0};
    for (size_t at = bytes.find('\n'); !groups.empty() && at != std::string::npos;
         at = bytes.find('\n', at + 1)) {
        line_starts.push_back(at + 1);
    }
    auto line_of = [&](size_t offset) {
        return std::upper_bound(line_starts.begin(), line_starts.end(), offset) -
               line_starts.begin();
    };
    for (const std::vector<size_t>& group : groups) {
        out << (as_fault ? "Номер " : "Внимание: номер ") << records[group[0]].number
            << " повторяется: строки";
        for (size_t i = 0; i < group.size(); ++i) {
            out << (i == 0 ? " " : ", ") << line_of(records[group[i]].offset);
        }
        out << "\n";
    }
    return repeats;
}

}  // namespace

int check_list(const std::filesystem::path& file, std::ostream& out, bool repeats_are_faults) {
    std::string error;
    std::string bytes = core::read_file_bytes(file, error);
    if (!error.empty()) {
        out << "Нет файла " << core::path_utf8(file) << ": " << error << "\n";
        return REFUSED;
    }
    // The same open as "Старт Прозвонки": a list it cannot write, or one a run holds, is
    // refused there, whatever its lines.
    std::string open_error;
    {
        campaign::SubscriberList trial;
        trial.open(file, open_error);
    }
    campaign::ListReview review = campaign::review_list(bytes);
    for (const campaign::ListFault& f : review.faults) {
        out << fault_place(f) << "\n";
    }
    if (review.end_line != 0 && review.lines_after_end > 0) {
        out << "Внимание: пустая строка " << review.end_line << " заканчивает список, за ней еще "
            << plural(review.lines_after_end, "строка") << ": их не обзвонят\n";
    }
    std::vector<ListRecord> records = list_records(bytes, review);
    size_t repeats = say_repeats(bytes, records, repeats_are_faults, out);
    long long counts[MARK_KINDS] = {};
    for (const ListRecord& r : records) {
        ++counts[mark_kind(r.mark)];
    }
    out << "записей: " << records.size() << "\n";
    out << "  без отметки: " << counts[UNCALLED] << "\n";
    out << "  Y: " << counts[MARK_Y] << "\n";
    out << "  Z: " << counts[MARK_Z] << "\n";
    out << "  N: " << counts[MARK_N] << "\n";
    if (counts[MARK_S] > 0) {
        out << "  S (розданы частям): " << counts[MARK_S] << "\n";
    }
    if (counts[MARK_X] > 0) {
        out << "  X (исключены): " << counts[MARK_X] << "\n";
    }
    out << "  прочие отметки: " << counts[OTHER_MARK] << "\n";
    if (review.end_line != 0) {
        out << "конец списка: строка " << review.end_line << "\n";
    } else {
        out << "конец списка: конец файла\n";
        // Dialrun reads such a list to its end, but a list that lost its marker may be a
        // write cut short: the operator should look before a night of calling.
        out << "Внимание: нет пустой строки в конце списка\n";
    }
    if (!review.faults.empty()) {
        out << "Dialrun откажет в старте: строк с ошибками " << review.faults.size() << "\n";
        return REFUSED;
    }
    if (!open_error.empty()) {
        out << "Dialrun откажет в старте: список не открывается для записи: "
            << (open_error == core::FILE_BUSY ? "занят другой программой, идет прозвонка?"
                                              : open_error)
            << "\n";
        return REFUSED;
    }
    if (repeats_are_faults && repeats > 0) {
        out << "Dialrun примет список, но номера в нем повторяются: лишних записей " << repeats
            << "\n";
        return REFUSED;
    }
    out << "Dialrun примет список\n";
    return DONE;
}

}  // namespace ringlist
