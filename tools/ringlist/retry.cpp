// ringlist retry: the chosen marks cleared, so that the next run calls those subscribers again.

#include <map>

#include "base/utf8_text.h"
#include "campaign/subscriber_list.h"
#include "files/durable_file.h"
#include "ringlist/held_list.h"
#include "ringlist/ringlist_commands.h"
#include "ringlist/split_state.h"

namespace ringlist {

namespace {

// Records out on parts stay marked S and are not touched; the operator should still know.
void warn_of_open_deal(const std::filesystem::path& list, std::ostream& out) {
    std::string error;
    std::string text = core::read_file_bytes(state_path(list), error);
    SplitState state;
    if (error.empty() && parse_state(text, state).empty() && !state.finished()) {
        out << "Внимание: список роздан на части и раздача не собрана ("
            << core::path_utf8(state_path(list)) << "): записи с отметкой " << DEALT_MARK
            << " остаются за частями, их вернет merge\n";
    }
}

}  // namespace

int retry(const std::filesystem::path& folder, const std::string& marks, std::ostream& out) {
    if (marks.find('Y') != std::string::npos) {
        out << "Отметку Y снять нельзя: оповещенным позвонили бы второй раз\n";
        return REFUSED;
    }
    // Only the marks of an unreached subscriber that Dialrun writes; S belongs to a deal.
    for (char c : marks) {
        if (c != 'Z' && c != 'N') {
            out << "Неверные отметки \"" << marks << "\": снять можно только Z и N\n";
            return USAGE;
        }
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        out << "Нет папки " << core::path_utf8(folder) << "\n";
        return REFUSED;
    }
    HeldList list;
    if (!hold_list(folder_list(folder), list, out)) {
        return REFUSED;
    }
    warn_of_open_deal(list.path(), out);
    std::string bytes = list.bytes();
    std::map<char, int> cleared;
    int total = 0;
    for (size_t start : dialrun::review_list(bytes).record_starts) {
        char& mark = bytes[start + dialrun::MARK_COLUMN];
        if (marks.find(mark) != std::string::npos) {
            ++cleared[mark];
            ++total;
            mark = ' ';
        }
    }
    if (total == 0) {
        out << "Снято отметок: 0, список не изменен\n";
        return DONE;
    }
    std::string backup = backup_name(list.path());
    std::string error = list.replace(bytes, backup);
    if (!error.empty()) {
        out << "Отметки не сняты: " << error << "\n";
        return REFUSED;
    }
    out << "Снято отметок: " << total;
    for (const auto& [mark, count] : cleared) {
        out << (mark == cleared.begin()->first ? " (" : ", ") << mark << ": " << count;
    }
    out << "); прежний список сохранен в " << backup << "\n";
    return DONE;
}

}  // namespace ringlist
