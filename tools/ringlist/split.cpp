// ringlist split: the unmarked records dealt round-robin into lists for several racks.

#include "base/utf8_text.h"
#include "campaign/attempts.h"
#include "campaign/result_log.h"
#include "campaign/subscriber_list.h"
#include "files/drive_paths.h"
#include "files/durable_file.h"
#include "files/regular_file.h"
#include "ringlist/held_list.h"
#include "ringlist/plural.h"
#include "ringlist/ringlist_commands.h"
#include "ringlist/split_state.h"

namespace ringlist {

namespace {

// Takes back what a split that failed half-way had written.
void remove_parts(const std::vector<std::filesystem::path>& written) {
    std::error_code ec;
    for (const std::filesystem::path& part : written) {
        std::filesystem::remove(part, ec);
        std::filesystem::remove(part.parent_path(), ec);  // only if empty
    }
}

// A deal may be followed by another only once every dealt record came back with a result.
// Returns false, having said why, when the earlier deal stands in the way; cut is set when it
// was cut short before the master's marks (see deal_cut_short), for the caller to finish.
bool earlier_deal_finished(const std::filesystem::path& list, const std::string& master,
                           SplitState& cut, bool& is_cut, std::ostream& out) {
    std::filesystem::path state_file = state_path(list);
    std::string error;
    SplitState earlier;
    std::string text = core::read_file_bytes(state_file, error);
    if (error.empty()) {
        error = parse_state(text, earlier);
    }
    if (!error.empty()) {
        out << "Файл раздачи " << core::path_utf8(state_file) << " не читается: " << error << "\n";
        return false;
    }
    is_cut = deal_cut_short(list, master, cut);
    if (!is_cut && !earlier.finished()) {
        out << "Список уже роздан на части (" << core::path_utf8(state_file)
            << "), не все результаты вернулись: сначала merge\n";
        return false;
    }
    return true;
}

// A deal cut short is finished only as it was dealt: the same parts in the same folder, each
// still holding its records, and none of them marked in the master since. "" or why not.
std::string cut_deal_unfinishable(const SplitState& cut, const std::string& master,
                                  const std::vector<size_t>& starts, int parts,
                                  const std::filesystem::path& out_dir) {
    std::error_code ec;
    if (parts != cut.parts ||
        (!cut.folder.empty() &&
         !std::filesystem::equivalent(core::utf8_path(cut.folder), out_dir, ec))) {
        return "названы другие части";
    }
    for (size_t index : cut.deal) {
        if (index >= starts.size() || master[starts[index] + campaign::MARK_COLUMN] != ' ') {
            return "запись " + std::to_string(index + 1) +
                   " основного списка отмечена после раздачи";
        }
    }
    for (int k = 0; k < parts; ++k) {
        std::filesystem::path file = folder_list(out_dir / std::to_string(k + 1));
        std::string error;
        std::string part = core::read_regular_file(file, error, core::LARGEST_INPUT);
        std::vector<size_t> part_starts = campaign::review_list(part).record_starts;
        std::vector<size_t> dealt = cut.part_records(k);
        bool same = error.empty() && part_starts.size() == dealt.size();
        for (size_t p = 0; same && p < dealt.size(); ++p) {
            same = part.compare(part_starts[p], 16, master, starts[dealt[p]], 16) == 0;
        }
        if (!same) {
            return "часть " + core::path_utf8(file) + " не та, что роздана" +
                   (error.empty() ? "" : ": " + error);
        }
    }
    return {};
}

// Part folders of an earlier campaign may still hold its logs: a merge takes only what is
// written after this split.
void start_after_old_logs(const std::filesystem::path& out_dir, SplitState& state,
                          std::ostream& out) {
    const char* const logs[2] = {campaign::NOTIFIED_LOG, campaign::NOT_NOTIFIED_LOG};
    for (int k = 0; k < state.parts; ++k) {
        std::filesystem::path dir = out_dir / std::to_string(k + 1);
        std::error_code ec;
        if (!std::filesystem::is_directory(dir, ec)) {
            continue;
        }
        core::DriveC drive(dir);
        for (int log = 0; log < 2; ++log) {
            std::filesystem::path path = drive.resolve(logs[log]);
            auto size = std::filesystem::file_size(path, ec);
            if (ec || size == 0) {
                continue;
            }
            SplitState::Merged& merged = state.merged[static_cast<size_t>(k)];
            (log == 0 ? merged.notified : merged.not_notified) = static_cast<long long>(size);
            out << "В " << core::path_utf8(path) << " уже "
                << plural(static_cast<long long>(size), "байт")
                << " прежней прозвонки: merge их не перенесет\n";
        }
    }
}

// A first deal is a new file; the next one replaces a finished deal in one step.
std::string write_state(const std::filesystem::path& state_file, const SplitState& state,
                        bool replace) {
    std::string error = replace ? core::replace_file(state_file, state_text(state))
                                : core::write_new_file(state_file, state_text(state));
    return error.empty() ? core::sync_folder(state_file.parent_path()) : error;
}

std::string mark_dealt(HeldList& master, const std::vector<size_t>& starts,
                       const SplitState& state) {
    std::string bytes = master.bytes();
    for (size_t index : state.deal) {
        bytes[starts[index] + campaign::MARK_COLUMN] = DEALT_MARK;
    }
    return master.replace(bytes, backup_name(master.path()));
}

// The attempts of part k's records, at their places in the part: a record called before goes
// out with its count, so that the cap holds on the part too.
std::string part_attempts(const campaign::Attempts& attempts, const std::string& bytes,
                          const std::vector<size_t>& starts, const std::vector<size_t>& dealt) {
    std::string text;
    for (size_t p = 0; p < dealt.size(); ++p) {
        std::string number = bytes.substr(starts[dealt[p]], 7);
        campaign::Attempt attempt = attempts.of(static_cast<int>(dealt[p] + 1), number);
        if (attempt.count > 0) {
            text += campaign::attempt_line(static_cast<int>(p + 1), number, attempt);
        }
    }
    return text;
}

// Writes a part's attempts where it has any; one left from an earlier list there is not its.
std::string write_part_attempts(const std::filesystem::path& part, const std::string& text,
                                unsigned mode, std::vector<std::filesystem::path>& written) {
    std::filesystem::path file = campaign::attempts_path(part);
    std::error_code ec;
    std::filesystem::remove(file, ec);
    if (text.empty()) {
        return {};
    }
    std::string error = core::replace_file(file, text, mode);
    if (error.empty()) {
        written.push_back(file);
    }
    return error;
}

void say_deal(const SplitState& state, const std::vector<std::filesystem::path>& part_files,
              size_t records, const std::filesystem::path& state_file, std::ostream& out) {
    out << "Роздано записей без отметки: " << state.deal.size() << ", частей: " << state.parts
        << "\n";
    for (int k = 0; k < state.parts; ++k) {
        out << "  " << core::path_utf8(part_files[k]) << ": " << state.part_records(k).size()
            << "\n";
    }
    out << "Отмеченные записи остались только в основном списке: " << records - state.deal.size()
        << "\n";
    out << "Розданные записи отмечены в основном списке " << DEALT_MARK
        << ": Dialrun на нем их не обзвонит, merge вернет их результаты\n";
    out << "Раздача записана в " << core::path_utf8(state_file) << "\n";
}

// The last step of a deal cut short, done as it was dealt: its parts are out already.
int finish_cut_deal(HeldList& master, const SplitState& cut, const std::vector<size_t>& starts,
                    int parts, const std::filesystem::path& out_dir, std::ostream& out) {
    std::string why = cut_deal_unfinishable(cut, master.bytes(), starts, parts, out_dir);
    if (!why.empty()) {
        out << cut_deal_advice(master.path(), cut) << " (" << why << ")\n";
        return REFUSED;
    }
    std::string error = mark_dealt(master, starts, cut);
    if (!error.empty() && !master.renamed()) {
        out << "Раздача не доведена: " << error << "\n";
        return REFUSED;
    }
    out << "Прерванная раздача доведена до конца: розданные записи отмечены " << DEALT_MARK
        << " в основном списке\n";
    std::vector<std::filesystem::path> part_files;
    for (int k = 0; k < parts; ++k) {
        part_files.push_back(folder_list(out_dir / std::to_string(k + 1)));
    }
    say_deal(cut, part_files, starts.size(), state_path(master.path()), out);
    if (!error.empty()) {
        out << "Внимание: " << error << "\n";
    }
    return DONE;
}

}  // namespace

int split(const std::filesystem::path& file, int parts, const std::filesystem::path& out_dir,
          std::ostream& out) {
    if (parts < 1) {
        out << "Число частей должно быть не меньше 1\n";
        return USAGE;
    }
    HeldList master;
    if (!hold_list(file, master, out)) {
        return REFUSED;
    }
    std::error_code ec;
    std::filesystem::path state_file = state_path(master.path());
    // A link that leads nowhere is read, and refused with its reason.
    bool dealt_before = std::filesystem::exists(state_file, ec) || ec;
    const std::string& bytes = master.bytes();
    std::vector<size_t> starts = campaign::review_list(bytes).record_starts;
    SplitState cut;
    bool is_cut = false;
    if (dealt_before && !earlier_deal_finished(master.path(), bytes, cut, is_cut, out)) {
        return REFUSED;
    }
    if (is_cut) {
        return finish_cut_deal(master, cut, starts, parts, out_dir, out);
    }
    SplitState state;
    state.parts = parts;
    state.folder = core::path_utf8(std::filesystem::absolute(out_dir, ec));
    state.merged.assign(static_cast<size_t>(parts), {});
    for (size_t i = 0; i < starts.size(); ++i) {
        if (bytes[starts[i] + campaign::MARK_COLUMN] == ' ') {
            state.deal.push_back(i);
        }
    }
    if (state.deal.size() < static_cast<size_t>(parts)) {
        out << "Записей без отметки " << state.deal.size() << ", частей " << parts
            << ": каждой части нужна хотя бы одна запись\n";
        return REFUSED;
    }
    std::vector<std::filesystem::path> part_files;
    std::vector<std::string> part_texts;
    std::vector<bool> part_there;
    for (int k = 1; k <= parts; ++k) {
        std::filesystem::path dir = out_dir / std::to_string(k);
        part_files.push_back(std::filesystem::exists(dir, ec) ? folder_list(dir)
                                                              : dir / "Ring.TXT");
        std::string text;
        for (size_t index : state.part_records(k - 1)) {
            text += bytes.substr(starts[index], campaign::RECORD_SIZE);
        }
        part_texts.push_back(text + "\r\n");
        part_there.push_back(std::filesystem::exists(part_files.back(), ec));
        // A part that holds just what this deal gives it was written by a split cut short.
        std::string unread;
        if (part_there.back() &&
            core::read_regular_file(part_files.back(), unread, part_texts.back().size()) !=
                part_texts.back()) {
            out << "Часть уже есть: " << core::path_utf8(part_files.back())
                << " (ее отметки пропали бы)\n";
            return REFUSED;
        }
    }
    std::string unread;
    campaign::Attempts read = campaign::read_attempts(master.path(), unread);
    if (!unread.empty()) {
        out << "Файл попыток " << core::path_utf8(campaign::attempts_path(master.path()))
            << " не читается: " << unread << "\n";
        return REFUSED;
    }
    // A record moved by a hand edit goes out with its count, as Dialrun would take it.
    int unmatched = 0;
    campaign::Attempts attempts = read.matched_to(campaign::list_numbers(bytes), unmatched);
    start_after_old_logs(out_dir, state, out);
    std::vector<std::filesystem::path> written;
    for (int k = 0; k < parts; ++k) {
        std::filesystem::create_directories(part_files[k].parent_path(), ec);
        // Written whole and renamed into place, as private as the master: a cut split leaves
        // no torn part for a Dialrun to start on.
        std::string error = part_there[k] ? std::string()
                                          : core::replace_file(part_files[k], part_texts[k],
                                                               core::file_mode(master.path()));
        if (error.empty()) {
            written.push_back(part_files[k]);
            error = write_part_attempts(
                part_files[k], part_attempts(attempts, bytes, starts, state.part_records(k)),
                core::file_mode(master.path()), written);
        }
        if (error.empty()) {
            error = core::sync_folder(part_files[k].parent_path());
        }
        if (!error.empty()) {
            remove_parts(written);
            out << "Части не записаны: " << error << "\n";
            return REFUSED;
        }
    }
    // The deal, then the master's marks: a master marked S always has its deal beside it.
    std::string error = write_state(state_file, state, dealt_before);
    if (error.empty()) {
        error = mark_dealt(master, starts, state);
    }
    // Marked but the folder not synced: the deal is out, its parts and state stay.
    if (!error.empty() && !master.renamed()) {
        remove_parts(written);
        std::filesystem::remove(state_file, ec);
        out << "Части не записаны: " << error << "\n";
        return REFUSED;
    }
    say_deal(state, part_files, starts.size(), state_file, out);
    if (!error.empty()) {
        out << "Внимание: " << error << "\n";
    }
    return DONE;
}

}  // namespace ringlist
