// ringlist exclude: the records whose numbers are on a stop list marked X, never to be called.

#include <map>

#include "base/utf8_text.h"
#include "campaign/subscriber_list.h"
#include "files/durable_file.h"
#include "ringlist/held_list.h"
#include "ringlist/import/number_rules.h"
#include "ringlist/import/stop_list.h"
#include "ringlist/ringlist_commands.h"
#include "ringlist/split_state.h"

namespace ringlist {

namespace {

// A record dealt to a part is the part's to mark: the stop list waits for the merge.
bool deal_out(const std::filesystem::path& list, const std::string& master, std::ostream& out) {
    SplitState cut;
    if (deal_cut_short(list, master, cut)) {
        out << "Список не изменен. " << cut_deal_advice(list, cut) << "\n";
        return true;
    }
    if (!deal_open(list)) {
        return false;
    }
    out << "Список роздан на части и раздача не собрана (" << core::path_utf8(state_path(list))
        << "): сначала merge, потом exclude\n";
    return true;
}

}  // namespace

int exclude(const std::filesystem::path& file, const std::filesystem::path& stop_file,
            const std::string& prefix_text, std::ostream& out) {
    std::vector<std::string> prefixes;
    if (!prefix_option(prefix_text, prefixes, out)) {
        return USAGE;
    }
    std::error_code ec;
    if (std::filesystem::equivalent(file, stop_file, ec)) {
        out << "Список не изменен: стоп-лист " << core::path_utf8(stop_file)
            << " - это сам список\n";
        return REFUSED;
    }
    std::set<std::string> stop;
    std::string error = read_stop_list(stop_file, prefixes, stop);
    if (!error.empty()) {
        out << "Список не изменен: " << error << "\n";
        return REFUSED;
    }
    HeldList list;
    if (!hold_list(file, list, out) || deal_out(list.path(), list.bytes(), out)) {
        return REFUSED;
    }
    std::string bytes = list.bytes();
    std::map<char, int> marked;  // by the mark it had
    int total = 0;
    for (size_t start : campaign::review_list(bytes).record_starts) {
        char& mark = bytes[start + campaign::MARK_COLUMN];
        // Never over Y: that subscriber was told, and the record says so.
        if ((mark == ' ' || mark == 'Z' || mark == 'N') && stop.count(bytes.substr(start, 7))) {
            ++marked[mark];
            ++total;
            mark = EXCLUDED_MARK;
        }
    }
    if (total == 0) {
        out << "Исключено записей: 0, список не изменен\n";
        return DONE;
    }
    std::string backup = backup_name(list.path());
    error = list.replace(bytes, backup);
    if (!error.empty() && !list.renamed()) {
        out << "Список не изменен: " << error << "\n";
        return REFUSED;
    }
    out << "Исключено записей: " << total << " (";
    const char* sep = "";
    for (const auto& [mark, count] : marked) {
        out << sep << (mark == ' ' ? std::string("без отметки") : std::string(1, mark)) << ": "
            << count;
        sep = ", ";
    }
    out << "), отмечены " << EXCLUDED_MARK << "; прежний список сохранен в " << backup << "\n";
    if (!error.empty()) {
        out << "Внимание: " << error << "\n";
    }
    return DONE;
}

}  // namespace ringlist
