// ringlist retry: the chosen marks cleared, so that the next run calls those subscribers again.

#include <ctime>
#include <map>

#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "campaign/retry_rules.h"
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

// The rules as Dialrun's rounds take them; without a cap or a gap, every mark asked for.
campaign::RetryRules rules_of(const RetryOptions& options) {
    campaign::RetryRules rules;
    rules.marks = options.marks;
    rules.retry = options.max_attempts > 0 ? options.max_attempts : 1000000;
    rules.gap_minutes = options.min_gap;
    return rules;
}

}  // namespace

int retry(const std::filesystem::path& folder, const RetryOptions& options, std::ostream& out) {
    const std::string& marks = options.marks;
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
    SplitState cut;
    if (deal_cut_short(list.path(), list.bytes(), cut)) {
        out << "Отметки не сняты. " << cut_deal_advice(list.path(), cut) << "\n";
        return REFUSED;
    }
    warn_of_open_deal(list.path(), out);
    std::string error;
    campaign::Attempts read = campaign::read_attempts(list.path(), error);
    if (!error.empty()) {
        out << "Отметки не сняты: файл попыток не читается: " << error << "\n";
        return REFUSED;
    }
    const campaign::RetryRules rules = rules_of(options);
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    std::string bytes = list.bytes();
    // A record moved by a hand edit keeps its count: the cap holds for it as Dialrun holds it.
    int unmatched = 0;
    campaign::Attempts attempts = read.matched_to(campaign::list_numbers(bytes), unmatched);
    std::map<char, int> cleared;
    int total = 0;
    int kept = 0;
    std::string fresh_attempts;  // the cleared records' counts set to 0
    std::string old_attempts;    // theirs before, to set back if the list cannot be replaced
    int position = 0;
    for (size_t start : campaign::review_list(bytes).record_starts) {
        ++position;
        char& mark = bytes[start + campaign::MARK_COLUMN];
        if (marks.find(mark) == std::string::npos) {
            continue;
        }
        std::string number = bytes.substr(start, 7);
        campaign::Attempt attempt = attempts.of(position, number);
        if (campaign::retry_state(rules, mark, attempt, now) != campaign::RetryState::due) {
            ++kept;
            continue;
        }
        ++cleared[mark];
        ++total;
        mark = ' ';
        if (attempt.count > 0) {
            fresh_attempts += campaign::attempt_line(position, number, {});
            old_attempts += campaign::attempt_line(position, number, attempt);
        }
    }
    if (total == 0) {
        out << "Снято отметок: 0, список не изменен";
        out << (kept > 0 ? "; по правилам оставлено: " + std::to_string(kept) : "") << "\n";
        return DONE;
    }
    // The counts go first: a retry cut short between the two leaves marks that the next
    // round calls afresh, as the operator asked, never cleared records that can not be called.
    std::filesystem::path attempts_file = campaign::attempts_path(list.path());
    if (!fresh_attempts.empty()) {
        error =
            campaign::append_attempts(attempts_file, fresh_attempts, core::file_mode(list.path()));
        if (!error.empty()) {
            // Lines may stand in the file though their sync failed: their old counts after them.
            campaign::append_attempts(attempts_file, old_attempts, core::file_mode(list.path()));
            out << "Отметки не сняты: попытки не обнулены: " << error << "\n";
            return REFUSED;
        }
    }
    std::string backup = backup_name(list.path());
    error = list.replace(bytes, backup);
    if (!error.empty() && !list.renamed()) {
        if (!old_attempts.empty()) {
            campaign::append_attempts(attempts_file, old_attempts, core::file_mode(list.path()));
        }
        out << "Отметки не сняты: " << error << "\n";
        return REFUSED;
    }
    out << "Снято отметок: " << total;
    for (const auto& [mark, count] : cleared) {
        out << (mark == cleared.begin()->first ? " (" : ", ") << mark << ": " << count;
    }
    out << "); прежний список сохранен в " << backup << "\n";
    if (kept > 0) {
        out << "По правилам оставлено: " << kept << " (попытки исчерпаны или интервал не прошел)\n";
    }
    if (!error.empty()) {
        out << "Внимание: " << error << "\n";
    }
    return DONE;
}

}  // namespace ringlist
