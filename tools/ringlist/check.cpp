// ringlist check: the list as "Старт Прозвонки" would take it, every bad line named.

#include "base/utf8_text.h"
#include "campaign/subscriber_list.h"
#include "files/durable_file.h"
#include "ringlist/campaign_folder.h"
#include "ringlist/plural.h"
#include "ringlist/report/report.h"
#include "ringlist/ringlist_commands.h"

namespace ringlist {

int check_list(const std::filesystem::path& file, std::ostream& out) {
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
    out << "Dialrun примет список\n";
    return DONE;
}

}  // namespace ringlist
