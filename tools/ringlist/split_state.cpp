#include "ringlist/split_state.h"
#include "base/utf8_text.h"
#include "campaign/subscriber_list.h"
#include "files/regular_file.h"

#include <algorithm>
#include <sstream>

namespace ringlist {

std::vector<size_t> SplitState::part_records(int k) const {
    std::vector<size_t> records;
    for (size_t i = static_cast<size_t>(k); i < deal.size(); i += static_cast<size_t>(parts)) {
        records.push_back(deal[i]);
    }
    return records;
}

bool SplitState::finished() const {
    return last_marks.find(' ') == std::string::npos;
}

std::filesystem::path state_path(const std::filesystem::path& list) {
    return list.parent_path() / core::utf8_path(core::path_utf8(list.filename()) + ".split");
}

bool deal_open(const std::filesystem::path& list) {
    // A link that leads nowhere is read, and counts as open: its reason is said.
    std::error_code ec;
    if (!std::filesystem::exists(state_path(list), ec) && !ec) {
        return false;
    }
    std::string error;
    SplitState state;
    std::string text = core::read_regular_file(state_path(list), error, 256u << 20);
    return !(error.empty() && parse_state(text, state).empty() && state.finished());
}

bool deal_cut_short(const std::filesystem::path& list, const std::string& master,
                    SplitState& state) {
    std::error_code ec;
    if (!std::filesystem::exists(state_path(list), ec)) {
        return false;
    }
    std::string error;
    std::string text = core::read_regular_file(state_path(list), error, 256u << 20);
    SplitState read;
    if (!error.empty() || !parse_state(text, read).empty() || read.finished()) {
        return false;  // unreadable or finished: said where it is read
    }
    // A merge brought something back: the deal went out whole.
    if (read.last_marks.find_first_not_of(' ') != std::string::npos) {
        return false;
    }
    // Dealt records are blank when dealt, and a merge leaves none blank (S, or the part's
    // result): an S, or no blank left, means the deal went further than the marks it lacks.
    std::vector<size_t> starts = campaign::review_list(master).record_starts;
    bool blank = false;
    for (size_t index : read.deal) {
        char mark = index < starts.size() ? master[starts[index] + campaign::MARK_COLUMN] : ' ';
        if (mark == DEALT_MARK) {
            return false;
        }
        blank = blank || mark == ' ';
    }
    if (!blank) {
        return false;
    }
    state = read;
    return true;
}

std::string cut_deal_advice(const std::filesystem::path& list, const SplitState& state) {
    std::string where = state.folder.empty() ? "папке частей" : state.folder;
    return "Раздача на части (" + core::path_utf8(state_path(list)) + ") прервана до отметок " +
           std::string(1, DEALT_MARK) + " в основном списке, а части могли быть уже записаны в " +
           where +
           " и уйти на стойки. Повторите ту же раздачу, она будет доведена до конца: "
           "ringlist split " +
           core::path_utf8(list) + " " + std::to_string(state.parts) + " " +
           (state.folder.empty() ? "ПАПКА" : state.folder) +
           ". Если части никому не отданы, удалите их и " + core::path_utf8(state_path(list));
}

std::string state_text(const SplitState& state) {
    std::string text = "# ringlist: раздача списка на части, не править руками\n";
    text += "parts " + std::to_string(state.parts) + "\n";
    if (!state.folder.empty()) {
        text += "folder " + state.folder + "\n";
    }
    for (size_t i = 0; i < state.deal.size(); i += 16) {
        text += "deal";
        for (size_t j = i; j < std::min(state.deal.size(), i + 16); ++j) {
            text += ' ';
            text += std::to_string(state.deal[j]);
        }
        text += "\n";
    }
    // Blanks as '.', so that the words of a line stay whole.
    for (size_t i = 0; i < state.last_marks.size(); i += 64) {
        std::string marks = state.last_marks.substr(i, 64);
        std::replace(marks.begin(), marks.end(), ' ', '.');
        text += "last " + marks + "\n";
    }
    for (size_t k = 0; k < state.merged.size(); ++k) {
        text += "merged " + std::to_string(k + 1) + " " + std::to_string(state.merged[k].notified) +
                " " + std::to_string(state.merged[k].not_notified) + "\n";
    }
    return text;
}

std::string parse_state(const std::string& text, SplitState& state) {
    SplitState read;
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        std::istringstream words(line);
        std::string word;
        if (!(words >> word) || word[0] == '#') {
            continue;
        }
        bool ok = true;
        if (word == "parts") {
            ok = static_cast<bool>(words >> read.parts) && read.parts > 0;
            read.merged.assign(static_cast<size_t>(std::max(read.parts, 0)), {});
        } else if (word == "folder") {
            std::getline(words >> std::ws, read.folder);
            ok = !read.folder.empty();
        } else if (word == "deal") {
            for (size_t index; words >> index;) {
                read.deal.push_back(index);
            }
            ok = words.eof();
        } else if (word == "last") {
            std::string marks;
            ok = static_cast<bool>(words >> marks);
            std::replace(marks.begin(), marks.end(), '.', ' ');
            read.last_marks += marks;
        } else if (word == "merged") {
            int k = 0;
            SplitState::Merged m;
            ok = words >> k >> m.notified >> m.not_notified && k >= 1 && k <= read.parts &&
                 m.notified >= 0 && m.not_notified >= 0;
            if (ok) {
                read.merged[static_cast<size_t>(k - 1)] = m;
            }
        } else {
            ok = false;
        }
        if (!ok) {
            return "строка " + std::to_string(number) + " не читается";
        }
    }
    if (read.parts == 0) {
        return "нет строки parts";
    }
    // A deal written before marks were kept: nothing merged yet, as far as it can tell.
    if (read.last_marks.empty()) {
        read.last_marks.assign(read.deal.size(), ' ');
    }
    if (read.last_marks.size() != read.deal.size()) {
        return "отметок " + std::to_string(read.last_marks.size()) + ", а роздано " +
               std::to_string(read.deal.size());
    }
    state = read;
    return {};
}

}  // namespace ringlist
