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
#include "ringlist/split_state.h"

namespace ringlist {

namespace {

// The line each offset stands on, for offsets in rising order: one pass over the bytes.
std::vector<size_t> lines_of(const std::string& bytes, const std::vector<size_t>& offsets) {
    std::vector<size_t> lines(offsets.size());
    size_t line = 1;
    size_t at = 0;
    for (size_t i = 0; i < offsets.size(); ++i) {
        line += static_cast<size_t>(
            std::count(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offsets[i]), '\n'));
        at = offsets[i];
        lines[i] = line;
    }
    return lines;
}

// Each number that stands in more than one record, with the lines it stands on, in the order
// of their first line; returns how many records repeat an earlier one. A record's seven digits
// are a number below 2^24: number and record index in one word, sorted, put each number's
// records together in file order; a city's list of a million records is checked in a fraction
// of a second, with no string made per record.
size_t say_repeats(const std::string& bytes, const std::vector<size_t>& starts, bool as_fault,
                   std::ostream& out) {
    std::vector<uint64_t> keys(starts.size());
    for (size_t i = 0; i < starts.size(); ++i) {
        uint64_t number = 0;
        for (size_t k = 0; k < 7; ++k) {
            number = number * 10 + static_cast<uint64_t>(bytes[starts[i] + k] - '0');
        }
        keys[i] = number << 32 | i;
    }
    std::sort(keys.begin(), keys.end());
    auto index = [&](size_t k) { return static_cast<size_t>(keys[k] & 0xFFFFFFFFu); };
    std::vector<std::pair<size_t, size_t>> groups;  // first record, where its run begins
    size_t repeats = 0;
    for (size_t i = 0; i < keys.size();) {
        size_t j = i + 1;
        while (j < keys.size() && keys[j] >> 32 == keys[i] >> 32) {
            ++j;
        }
        if (j - i > 1) {
            groups.emplace_back(index(i), i);
            repeats += j - i - 1;
        }
        i = j;
    }
    if (groups.empty()) {
        return 0;
    }
    std::sort(groups.begin(), groups.end());  // by first record, as the file has them
    auto same_number = [&](size_t k, size_t at) { return keys[k] >> 32 == keys[at] >> 32; };
    std::vector<size_t> sorted;  // where each repeated record begins
    for (const auto& group : groups) {
        for (size_t k = group.second; k < keys.size() && same_number(k, group.second); ++k) {
            sorted.push_back(starts[index(k)]);
        }
    }
    std::sort(sorted.begin(), sorted.end());
    std::vector<size_t> lines = lines_of(bytes, sorted);
    auto line_of = [&](size_t offset) {
        return lines[static_cast<size_t>(std::lower_bound(sorted.begin(), sorted.end(), offset) -
                                         sorted.begin())];
    };
    for (const auto& [first, at] : groups) {
        out << (as_fault ? "Номер " : "Внимание: номер ") << bytes.substr(starts[first], 7)
            << " повторяется: строки";
        for (size_t k = at; k < keys.size() && same_number(k, at); ++k) {
            out << (k == at ? " " : ", ") << line_of(starts[index(k)]);
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
    const std::vector<size_t>& starts = review.record_starts;
    size_t repeats = say_repeats(bytes, starts, repeats_are_faults, out);
    long long counts[MARK_KINDS] = {};
    for (size_t start : starts) {
        ++counts[mark_kind(bytes[start + campaign::MARK_COLUMN])];
    }
    out << "записей: " << starts.size() << "\n";
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
    // A deal cut short before the S marks: the master would call what its parts may call too.
    SplitState cut;
    if (deal_cut_short(file, bytes, cut)) {
        out << "Dialrun обзвонит розданные записи второй раз: раздача на части не закончена: "
            << cut_deal_advice(file, cut) << "\n";
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
