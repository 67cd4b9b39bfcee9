// ringlist check: the list as "Старт Прозвонки" would take it, every bad line named.

#include <algorithm>
#include <map>

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
// of their first line; returns how many records repeat an earlier one.
size_t say_repeats(const std::string& bytes, const std::vector<ListRecord>& records, bool as_fault,
                   std::ostream& out) {
    std::vector<size_t> line_starts{0};
    for (size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1)) {
        line_starts.push_back(at + 1);
    }
    auto line_of = [&](size_t offset) {
        return std::upper_bound(line_starts.begin(), line_starts.end(), offset) -
               line_starts.begin();
    };
    std::map<std::string, std::vector<long>> lines;
    std::vector<std::string> order;
    for (const ListRecord& r : records) {
        std::vector<long>& at = lines[r.number];
        if (at.empty()) {
            order.push_back(r.number);
        }
        at.push_back(static_cast<long>(line_of(r.offset)));
    }
    size_t repeats = 0;
    for (const std::string& number : order) {
        const std::vector<long>& at = lines[number];
        if (at.size() < 2) {
            continue;
        }
        repeats += at.size() - 1;
        out << (as_fault ? "Номер " : "Внимание: номер ") << number << " повторяется: строки";
        for (size_t i = 0; i < at.size(); ++i) {
            out << (i == 0 ? " " : ", ") << at[i];
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
        dialrun::SubscriberList trial;
        trial.open(file, open_error);
    }
    dialrun::ListReview review = dialrun::review_list(bytes);
    for (const dialrun::ListFault& f : review.faults) {
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
