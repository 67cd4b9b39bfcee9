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

// A deal may be followed by another only once every dealt record came back with a result. A
// deal whose marks never reached the master (a split cut short before its last step) never
// went out: the next split deals again.
bool earlier_deal_finished(const std::filesystem::path& state_file, const std::string& master,
                           const std::vector<size_t>& starts, std::ostream& out) {
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
    bool went_out = false;
    for (size_t index : earlier.deal) {
        went_out = went_out || (index < starts.size() &&
                                master[starts[index] + campaign::MARK_COLUMN] == DEALT_MARK);
    }
    if (!earlier.finished() && went_out) {
        out << "Список уже роздан на части (" << core::path_utf8(state_file)
            << "), не все результаты вернулись: сначала merge\n";
        return false;
    }
    return true;
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
    if (dealt_before && !earlier_deal_finished(state_file, bytes, starts, out)) {
        return REFUSED;
    }
    SplitState state;
    state.parts = parts;
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
    if (!error.empty()) {
        remove_parts(written);
        std::filesystem::remove(state_file, ec);
        out << "Части не записаны: " << error << "\n";
        return REFUSED;
    }
    out << "Роздано записей без отметки: " << state.deal.size() << ", частей: " << parts << "\n";
    for (int k = 0; k < parts; ++k) {
        out << "  " << core::path_utf8(part_files[k]) << ": " << state.part_records(k).size()
            << "\n";
    }
    out << "Отмеченные записи остались только в основном списке: "
        << starts.size() - state.deal.size() << "\n";
    out << "Розданные записи отмечены в основном списке " << DEALT_MARK
        << ": Dialrun на нем их не обзвонит, merge вернет их результаты\n";
    out << "Раздача записана в " << core::path_utf8(state_file) << "\n";
    return DONE;
}

}  // namespace ringlist
