// ringlist merge: each part's marks brought back to the master records they were dealt from,
// and the parts' new log lines appended to the master's logs, once.

#include <algorithm>
#include <memory>

#include "base/system_reason.h"
#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "campaign/result_log.h"
#include "campaign/subscriber_list.h"
#include "files/drive_paths.h"
#include "files/durable_file.h"
#include "files/regular_file.h"
#include "ringlist/campaign_folder.h"
#include "ringlist/held_list.h"
#include "ringlist/plural.h"
#include "ringlist/ringlist_commands.h"
#include "ringlist/split_state.h"

namespace ringlist {

namespace {

const char* const LOGS[2] = {campaign::NOTIFIED_LOG, campaign::NOT_NOTIFIED_LOG};

// What one merge does, found out in full before anything is written.
struct MergePlan {
    std::string master;       // the master list with the parts' marks
    int moved = 0;            // marks brought back
    int already = 0;          // marks a merge before brought back
    int returned = 0;         // records a retry on their part sent out again
    std::string appended[2];  // new whole lines for RINGY, RINGN
    SplitState state;         // with the logs' new merged lengths
    campaign::Attempts master_attempts;
    std::string attempts;  // the parts' counts, at the master's places, where they differ
};

// The master's new mark for one dealt record, from the part's mark now and the one the last
// merge brought back; "" or why the two lists disagree.
std::string merge_mark(char part_mark, char& last, char& master_mark, MergePlan& plan) {
    if (part_mark == last) {
        plan.already += part_mark != ' ';
        return {};  // nothing new from the part: the master keeps what it has
    }
    if (part_mark != ' ' && master_mark == part_mark) {
        last = part_mark;  // brought back by a merge that was cut short
        ++plan.already;
        return {};
    }
    bool master_untouched =
        master_mark == last || master_mark == DEALT_MARK || (master_mark == ' ' && last == ' ');
    if (!master_untouched) {
        return master_mark == ' ' ? "в основном списке отметку сняли (retry), а в части она "
                                    "изменилась"
                                  : "в основном списке у записи уже другая отметка \"" +
                                        std::string(1, master_mark) + "\"";
    }
    // A retry on the part sends the record out again: the master must still not call it.
    master_mark = part_mark == ' ' ? DEALT_MARK : part_mark;
    last = part_mark;
    plan.moved += part_mark != ' ';
    plan.returned += part_mark == ' ';
    return {};
}

// A part's count stands for its record: the part made those calls, and counted the ones
// dealt with the record before. Written over the master's, never added to it.
std::string take_attempts(const HeldList& part, const std::vector<size_t>& starts,
                          const std::vector<size_t>& dealt, MergePlan& plan) {
    std::string error;
    campaign::Attempts attempts = campaign::read_attempts(part.path(), error);
    if (!error.empty()) {
        return "файл попыток " + core::path_utf8(campaign::attempts_path(part.path())) +
               " не читается: " + error;
    }
    for (size_t p = 0; p < starts.size(); ++p) {
        std::string number = part.bytes().substr(starts[p], 7);
        campaign::Attempt theirs = attempts.of(static_cast<int>(p + 1), number);
        int position = static_cast<int>(dealt[p] + 1);
        campaign::Attempt ours = plan.master_attempts.of(position, number);
        if (theirs.count > 0 &&
            (theirs.count != ours.count || theirs.last_call != ours.last_call)) {
            plan.attempts += campaign::attempt_line(position, number, theirs);
        }
    }
    return {};
}

// Brings part k's marks into plan.master; "" or why the merge is refused.
std::string take_marks(const HeldList& part, int k, const std::vector<size_t>& master_starts,
                       MergePlan& plan) {
    std::string label =
        "часть " + std::to_string(k + 1) + " (" + core::path_utf8(part.path()) + ")";
    const std::string& bytes = part.bytes();
    std::vector<size_t> starts = campaign::review_list(bytes).record_starts;
    std::vector<size_t> dealt = plan.state.part_records(k);
    if (starts.size() != dealt.size()) {
        return label + ": записей " + std::to_string(starts.size()) + ", а роздано " +
               std::to_string(dealt.size());
    }
    for (size_t p = 0; p < starts.size(); ++p) {
        std::string at = label + ", строка " + std::to_string(p + 1);
        if (dealt[p] >= master_starts.size()) {
            return at + ": в основном списке нет записи " + std::to_string(dealt[p] + 1);
        }
        size_t m = master_starts[dealt[p]];
        if (bytes.compare(starts[p], 16, plan.master, m, 16) != 0) {
            return at + ": номер и сумма не совпадают с записью " + std::to_string(dealt[p] + 1) +
                   " основного списка";
        }
        std::string error = merge_mark(bytes[starts[p] + campaign::MARK_COLUMN],
                                       plan.state.last_marks[plan.state.deal_position(k, p)],
                                       plan.master[m + campaign::MARK_COLUMN], plan);
        if (!error.empty()) {
            return at + " (запись " + std::to_string(dealt[p] + 1) +
                   " основного списка): " + error +
                   ". Поправьте отметку в одном из списков и повторите merge";
        }
    }
    return take_attempts(part, starts, dealt, plan);
}

// The part's log lines not merged yet, whole lines only (a torn last one waits).
std::string take_log_lines(const std::filesystem::path& dir, int k, MergePlan& plan) {
    core::DriveC drive(dir);
    for (int log = 0; log < 2; ++log) {
        std::filesystem::path path = drive.resolve(LOGS[log]);
        std::error_code ec;
        if (!std::filesystem::exists(path, ec) && !ec) {
            continue;  // no result of that kind yet (a link that leads nowhere is said)
        }
        std::string error;
        std::string bytes = core::read_file_bytes(path, error);
        if (!error.empty()) {
            return "Журнал " + core::path_utf8(path) + " не читается: " + error;
        }
        SplitState::Merged& merged = plan.state.merged[static_cast<size_t>(k)];
        long long& done = log == 0 ? merged.notified : merged.not_notified;
        size_t from = static_cast<size_t>(done);
        if (bytes.size() < from) {
            return "Журнал " + core::path_utf8(path) + " стал короче, чем при прошлом слиянии";
        }
        size_t end = bytes.rfind("\r\n");
        if (end == std::string::npos || end + 2 <= from) {
            continue;
        }
        plan.appended[log] += bytes.substr(from, end + 2 - from);
        done = static_cast<long long>(end + 2);
    }
    return {};
}

// How much of lines the log already ends with (a whole earlier append, or the start of one
// that was cut short); 0 when none.
size_t appended_already(const std::string& log, const std::string& lines) {
    size_t from = log.size() > lines.size() ? log.size() - lines.size() : 0;
    for (size_t at = from; at < log.size(); ++at) {
        if (log.compare(at, std::string::npos, lines, 0, log.size() - at) == 0) {
            return log.size() - at;
        }
    }
    return 0;
}

// Appends a part's new lines to a master log, skipping what the log already ends with: a merge
// cut short after appending and run again must not count a result twice. A log made here gets
// mode, the master list's.
std::string append_once(const std::filesystem::path& log, const std::string& lines, unsigned mode) {
    std::error_code ec;
    if (std::filesystem::exists(log, ec) || ec) {
        std::string error;
        std::string bytes = core::read_file_bytes(log, error);
        if (!error.empty()) {
            return error;
        }
        size_t done = appended_already(bytes, lines);
        if (done == lines.size()) {
            return {};
        }
        // The append drops a line it finds cut short, so that line is written again whole.
        size_t whole = done == 0 ? std::string::npos : lines.rfind('\n', done - 1);
        done = whole == std::string::npos ? 0 : whole + 1;
        return campaign::append_result_line(log, lines.substr(done), mode);
    }
    return campaign::append_result_line(log, lines, mode);
}

}  // namespace

int merge(const std::filesystem::path& file, const std::vector<std::filesystem::path>& part_dirs,
          std::ostream& out) {
    HeldList master;
    if (!hold_list(file, master, out)) {
        return REFUSED;
    }
    MergePlan plan;
    std::filesystem::path state_file = state_path(master.path());
    std::string error;
    std::string state_bytes = core::read_file_bytes(state_file, error);
    if (!error.empty()) {
        out << "Список не раздавался: нет файла " << core::path_utf8(state_file) << "\n";
        return REFUSED;
    }
    error = parse_state(state_bytes, plan.state);
    if (!error.empty()) {
        out << "Файл " << core::path_utf8(state_file) << " испорчен: " << error << "\n";
        return REFUSED;
    }
    SplitState cut;
    if (deal_cut_short(master.path(), master.bytes(), cut)) {
        out << "Слияние отменено, ничего не изменено. " << cut_deal_advice(master.path(), cut)
            << "\n";
        return REFUSED;
    }
    if (part_dirs.size() != static_cast<size_t>(plan.state.parts)) {
        out << "Список роздан на " << plural(plan.state.parts, "часть") << ", а названо "
            << plural(static_cast<long long>(part_dirs.size()), "папка")
            << ": назовите все, по порядку\n";
        return REFUSED;
    }
    plan.master = master.bytes();
    plan.master_attempts = campaign::read_attempts(master.path(), error);
    if (!error.empty()) {
        out << "Файл попыток " << core::path_utf8(campaign::attempts_path(master.path()))
            << " не читается: " << error << "\n";
        return REFUSED;
    }
    std::vector<size_t> master_starts = campaign::review_list(plan.master).record_starts;
    std::vector<std::unique_ptr<HeldList>> parts;  // held until the merge is done
    for (size_t k = 0; k < part_dirs.size(); ++k) {
        parts.push_back(std::make_unique<HeldList>());
        if (!hold_list(folder_list(part_dirs[k]), *parts.back(), out)) {
            return REFUSED;
        }
        error = take_marks(*parts.back(), static_cast<int>(k), master_starts, plan);
        if (error.empty()) {
            error = take_log_lines(part_dirs[k], static_cast<int>(k), plan);
        }
        if (!error.empty()) {
            out << "Слияние отменено, ничего не изменено: " << error << "\n";
            return REFUSED;
        }
    }
    // The master's logs are checked before anything is written: a folder or a FIFO in a log's
    // place would otherwise be found only after the marks had moved.
    core::DriveC master_drive(master.path().parent_path());
    for (int log = 0; log < 2; ++log) {
        std::filesystem::path path = master_drive.resolve(LOGS[log]);
        std::error_code ec;
        if (std::filesystem::exists(path, ec) || ec) {
            error = core::regular_file_refusal(path);
            if (!error.empty()) {
                out << "Слияние отменено, ничего не изменено: журнал " << core::path_utf8(path)
                    << ": " << error << "\n";
                return REFUSED;
            }
        }
    }
    // Counts first, then marks, then the logs, then how far they were merged. A merge cut
    // short anywhere and run again finds the counts and the marks already in place and the
    // lines already at the logs' ends; counts ahead of their marks only keep a record from
    // being called.
    if (!plan.attempts.empty()) {
        error = campaign::append_attempts(campaign::attempts_path(master.path()), plan.attempts,
                                          core::file_mode(master.path()));
    }
    std::string warning;  // the marks in place, their folder not synced: the merge goes on
    if (error.empty() && plan.master != master.bytes()) {
        error = master.replace(plan.master, backup_name(master.path()));
        if (!error.empty() && master.renamed()) {
            warning.swap(error);
        }
    }
    for (int log = 0; log < 2 && error.empty(); ++log) {
        if (!plan.appended[log].empty()) {
            std::filesystem::path path = master_drive.resolve(LOGS[log]);
            error = append_once(path, plan.appended[log], core::file_mode(master.path()));
            if (!error.empty()) {
                error = "журнал " + core::path_utf8(path) + ": " + error;
            }
        }
    }
    if (error.empty()) {
        error = core::replace_file(state_file, state_text(plan.state));
    }
    if (!error.empty()) {
        out << "Слияние не закончено: " << error << ". Отметки в основном списке "
            << (master.renamed() || plan.master == master.bytes() ? "уже перенесены"
                                                                  : "не перенесены")
            << "; повторите тот же merge, он доведет слияние до конца, ничего не повторив\n";
        return REFUSED;
    }
    out << "Перенесено отметок: " << plan.moved << " (перенесены раньше: " << plan.already << ")\n";
    if (plan.returned > 0) {
        out << "Снова розданы (retry в части): " << plural(plan.returned, "запись") << "\n";
    }
    out << "Добавлено строк в журналы: RINGY.txt " << plan.appended[0].size() / 70 << ", RINGN.txt "
        << plan.appended[1].size() / 70 << "\n";
    if (plan.state.finished()) {
        out << "Раздача собрана: у каждой розданной записи есть результат, список можно делить "
               "снова\n";
    } else {
        size_t out_still =
            std::count(plan.state.last_marks.begin(), plan.state.last_marks.end(), ' ');
        out << "Еще в частях без результата: "
            << plural(static_cast<long long>(out_still), "запись")
            << " (в основном списке отмечены " << DEALT_MARK << ")\n";
    }
    if (!warning.empty()) {
        out << "Внимание: " << warning << "\n";
    }
    return DONE;
}

}  // namespace ringlist
