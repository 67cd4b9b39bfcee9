// ringlist split: the unmarked records dealt round-robin into lists for several racks.

#include <cerrno>

#include "base/system_reason.h"
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

// A deal marked S in the master but cut short before each part was written: nothing has come
// back from it, and a part it names is not there. The next split writes the rest.
bool parts_unwritten(const SplitState& state, const std::string& master) {
    if (state.folder.empty() || state.last_marks.find_first_not_of(' ') != std::string::npos) {
        return false;
    }
    std::vector<size_t> starts = campaign::review_list(master).record_starts;
    for (size_t index : state.deal) {
        if (index >= starts.size() || master[starts[index] + campaign::MARK_COLUMN] != DEALT_MARK) {
            return false;
        }
    }
    for (int k = 0; k < state.parts; ++k) {
        std::error_code ec;
        std::filesystem::path dir = core::utf8_path(state.folder) / std::to_string(k + 1);
        if (!std::filesystem::exists(folder_list(dir), ec) && !ec) {
            return true;
        }
    }
    return false;
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
    is_cut = deal_cut_short(list, master, cut) || parts_unwritten(earlier, master);
    if (is_cut && cut.parts == 0) {
        cut = earlier;
    }
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
    bool same_folder = true;
    if (!cut.folder.empty()) {
        // A deal cut before its parts may have made no folder yet: then by name.
        std::filesystem::path dealt_to = core::utf8_path(cut.folder);
        same_folder = std::filesystem::equivalent(dealt_to, out_dir, ec);
        if (ec) {
            same_folder = std::filesystem::absolute(out_dir, ec).lexically_normal() ==
                          dealt_to.lexically_normal();
        }
    }
    if (parts != cut.parts || !same_folder) {
        return "названы другие части";
    }
    char dealt_as = cut.deal.empty() || starts.empty() || cut.deal[0] >= starts.size()
                        ? ' '
                        : master[starts[cut.deal[0]] + campaign::MARK_COLUMN];
    for (size_t index : cut.deal) {
        if (index >= starts.size() || master[starts[index] + campaign::MARK_COLUMN] != dealt_as ||
            (dealt_as != ' ' && dealt_as != DEALT_MARK)) {
            return "запись " + std::to_string(index + 1) +
                   " основного списка отмечена после раздачи";
        }
    }
    for (int k = 0; k < parts; ++k) {
        std::filesystem::path file = folder_list(out_dir / std::to_string(k + 1));
        if (!std::filesystem::exists(file, ec) && !ec) {
            continue;  // not written yet: the deal writes it
        }
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

// Where part k goes: the list already in its folder, in any letter case, or a new Ring.TXT.
std::filesystem::path part_file(const std::filesystem::path& out_dir, int k) {
    std::error_code ec;
    std::filesystem::path dir = out_dir / std::to_string(k + 1);
    return std::filesystem::exists(dir, ec) ? folder_list(dir) : dir / "Ring.TXT";
}

// Part k's list: its records as they were dealt, unmarked.
std::string part_text(const std::string& bytes, const std::vector<size_t>& starts,
                      const SplitState& state, int k) {
    std::string text;
    for (size_t index : state.part_records(k)) {
        std::string record = bytes.substr(starts[index], campaign::RECORD_SIZE);
        record[campaign::MARK_COLUMN] = ' ';
        text += record;
    }
    return text + "\r\n";
}

// Writes each part not written yet, its attempts before its list: a part there is the one a
// deal cut short wrote, maybe already on its rack. "" or what failed.
std::string write_parts(const std::string& bytes, const std::vector<size_t>& starts,
                        const SplitState& state, const campaign::Attempts& attempts,
                        const std::filesystem::path& out_dir, unsigned mode,
                        std::vector<std::filesystem::path>& written) {
    for (int k = 0; k < state.parts; ++k) {
        std::filesystem::path file = part_file(out_dir, k);
        std::error_code ec;
        bool there = std::filesystem::exists(file, ec);
        if (ec) {
            return core::path_utf8(file) + ": " + core::system_reason(ec.value());
        }
        if (there) {
            continue;
        }
        std::filesystem::create_directories(file.parent_path(), ec);
        if (ec) {
            return core::path_utf8(file.parent_path()) + ": " + core::system_reason(ec.value());
        }
        std::string error = write_part_attempts(
            file, part_attempts(attempts, bytes, starts, state.part_records(k)), mode, written);
        if (error.empty()) {
            // Written whole and renamed into place: a cut split leaves no torn part for a
            // Dialrun to start on.
            error = core::replace_file(file, part_text(bytes, starts, state, k), mode);
        }
        if (error.empty()) {
            written.push_back(file);
            error = core::sync_folder(file.parent_path());
        }
        if (!error.empty()) {
            return error;
        }
    }
    return {};
}

// "" or why the parts cannot go where they are to: found before the deal changes anything.
std::string part_folders_refusal(const std::filesystem::path& out_dir, int parts) {
    std::vector<std::filesystem::path> folders{out_dir};
    for (int k = 0; k < parts; ++k) {
        folders.push_back(out_dir / std::to_string(k + 1));
    }
    for (const std::filesystem::path& folder : folders) {
        std::error_code ec;
        auto status = std::filesystem::status(folder, ec);
        if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
            return core::path_utf8(folder) + ": " + core::system_reason(ENOTDIR);
        }
        if (ec && ec.value() != ENOENT) {
            return core::path_utf8(folder) + ": " + core::system_reason(ec.value());
        }
    }
    return {};
}

// The master's attempts at the places Dialrun would take them; false when unreadable (said).
bool master_attempts(const HeldList& master, campaign::Attempts& attempts, std::ostream& out) {
    std::string unread;
    campaign::Attempts read = campaign::read_attempts(master.path(), unread);
    if (!unread.empty()) {
        out << "Файл попыток " << core::path_utf8(campaign::attempts_path(master.path()))
            << " не читается: " << unread << "\n";
        return false;
    }
    // A record moved by a hand edit goes out with its count, as Dialrun would take it.
    int unmatched = 0;
    attempts = read.matched_to(campaign::list_numbers(master.bytes()), unmatched);
    return true;
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
    why = part_folders_refusal(out_dir, parts);
    if (!why.empty()) {
        out << "Раздача не доведена: " << why << "\n";
        return REFUSED;
    }
    campaign::Attempts attempts;
    if (!master_attempts(master, attempts, out)) {
        return REFUSED;
    }
    const std::string bytes = master.bytes();
    std::string error;
    if (!cut.deal.empty() && bytes[starts[cut.deal[0]] + campaign::MARK_COLUMN] != DEALT_MARK) {
        error = mark_dealt(master, starts, cut);
        if (!error.empty() && !master.renamed()) {
            out << "Раздача не доведена: " << error << "\n";
            return REFUSED;
        }
    }
    std::vector<std::filesystem::path> written;
    std::string parts_error =
        write_parts(bytes, starts, cut, attempts, out_dir, core::file_mode(master.path()), written);
    if (!parts_error.empty()) {
        out << "Раздача не доведена: " << parts_error << ". Розданные записи отмечены "
            << DEALT_MARK << " в основном списке; повторите ту же раздачу, она допишет части\n";
        return REFUSED;
    }
    out << "Прерванная раздача доведена до конца: розданные записи отмечены " << DEALT_MARK
        << " в основном списке, части записаны\n";
    std::vector<std::filesystem::path> part_files;
    for (int k = 0; k < parts; ++k) {
        part_files.push_back(part_file(out_dir, k));
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
    std::string refusal = part_folders_refusal(out_dir, parts);
    if (!refusal.empty()) {
        out << "Части не записаны: " << refusal << "\n";
        return REFUSED;
    }
    std::vector<std::filesystem::path> part_files;
    for (int k = 0; k < parts; ++k) {
        part_files.push_back(part_file(out_dir, k));
        // A part that holds just what this deal gives it was written by a split cut short.
        std::string text = part_text(bytes, starts, state, k);
        std::string unread;
        if (std::filesystem::exists(part_files.back(), ec) &&
            core::read_regular_file(part_files.back(), unread, text.size()) != text) {
            out << "Часть уже есть: " << core::path_utf8(part_files.back())
                << " (ее отметки пропали бы)\n";
            return REFUSED;
        }
    }
    campaign::Attempts attempts;
    if (!master_attempts(master, attempts, out)) {
        return REFUSED;
    }
    start_after_old_logs(out_dir, state, out);
    // The deal, then the master's marks, then the parts: a part is never out while its records
    // can still be called on the master, and a master marked S always has its deal beside it.
    const std::string original = bytes;
    std::string error = write_state(state_file, state, dealt_before);
    if (error.empty()) {
        error = mark_dealt(master, starts, state);
    }
    if (!error.empty() && !master.renamed()) {
        std::filesystem::remove(state_file, ec);
        out << "Части не записаны: " << error << "\n";
        return REFUSED;
    }
    std::vector<std::filesystem::path> written;
    std::string parts_error = write_parts(original, starts, state, attempts, out_dir,
                                          core::file_mode(master.path()), written);
    if (!parts_error.empty()) {
        out << "Раздача не закончена: " << parts_error << ". Розданные записи отмечены "
            << DEALT_MARK << " в основном списке, раздача записана в "
            << core::path_utf8(state_file) << "; повторите ту же раздачу, она допишет части\n";
        return REFUSED;
    }
    say_deal(state, part_files, starts.size(), state_file, out);
    if (!error.empty()) {
        out << "Внимание: " << error << "\n";
    }
    return DONE;
}

}  // namespace ringlist
