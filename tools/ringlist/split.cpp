// ringlist split: the unmarked records dealt round-robin into lists for several racks.

#include "durable_file.h"
#include "held_list.h"
#include "list_folder.h"
#include "ringlist_commands.h"
#include "split_state.h"
#include "subscriber_list.h"
#include "utf8_text.h"

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
    if (std::filesystem::exists(state_file, ec)) {
        out << "Список уже роздан на части (" << core::path_utf8(state_file)
            << "): сначала merge; удалите этот файл, только если части больше не нужны\n";
        return REFUSED;
    }
    const std::string& bytes = master.bytes();
    std::vector<size_t> starts = dialrun::review_list(bytes).record_starts;
    SplitState state;
    state.parts = parts;
    state.merged.assign(static_cast<size_t>(parts), {});
    for (size_t i = 0; i < starts.size(); ++i) {
        if (bytes[starts[i] + dialrun::MARK_COLUMN] == ' ') {
            state.deal.push_back(i);
        }
    }
    if (state.deal.size() < static_cast<size_t>(parts)) {
        out << "Записей без отметки " << state.deal.size() << ", частей " << parts
            << ": каждой части нужна хотя бы одна запись\n";
        return REFUSED;
    }
    std::vector<std::filesystem::path> part_files;
    for (int k = 1; k <= parts; ++k) {
        std::filesystem::path dir = out_dir / std::to_string(k);
        part_files.push_back(std::filesystem::exists(dir, ec) ? folder_list(dir)
                                                              : dir / "Ring.TXT");
        if (std::filesystem::exists(part_files.back(), ec)) {
            out << "Часть уже есть: " << core::path_utf8(part_files.back())
                << " (ее отметки пропали бы)\n";
            return REFUSED;
        }
    }
    std::vector<std::filesystem::path> written;
    for (int k = 0; k < parts; ++k) {
        std::string text;
        for (size_t index : state.part_records(k)) {
            text += bytes.substr(starts[index], dialrun::RECORD_SIZE);
        }
        text += "\r\n";
        std::filesystem::create_directories(part_files[k].parent_path(), ec);
        std::string error = write_new_file(part_files[k], text);
        if (error.empty()) {
            written.push_back(part_files[k]);
            error = core::sync_folder(part_files[k].parent_path());
        }
        if (!error.empty()) {
            remove_parts(written);
            out << "Части не записаны: " << error << "\n";
            return REFUSED;
        }
    }
    std::string error = write_new_file(state_file, state_text(state));
    if (error.empty()) {
        error = core::sync_folder(state_file.parent_path());
    }
    if (!error.empty()) {
        remove_parts(written);
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
    out << "Раздача записана в " << core::path_utf8(state_file) << "\n";
    return DONE;
}

}  // namespace ringlist
