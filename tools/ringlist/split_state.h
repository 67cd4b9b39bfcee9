#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ringlist {

// What a split dealt, kept beside the master list (Ring.TXT.split) so that a merge brings
// each part's marks back by the same deal, and how far each part's logs have been merged.
struct SplitState {
    int parts = 0;
    std::string folder;        // where the parts were written (UTF-8); empty in older deals
    std::vector<size_t> deal;  // master record indexes, dealt round-robin: part i % parts
    struct Merged {
        long long notified = 0;      // bytes of the part's RINGY.txt already appended
        long long not_notified = 0;  // and of its RINGN.txt
    };
    std::vector<Merged> merged;
    // Per dealt record, the part's mark that the last merge brought back (blank: none yet).
    // A mark the part still carries is then nothing new, so a later retry on the master is
    // not undone by merging it again.
    std::string last_marks;

    // Which master records part k holds, in its order; and where each stands in deal.
    std::vector<size_t> part_records(int k) const;
    size_t deal_position(int k, size_t p) const { return static_cast<size_t>(k) + p * parts; }
    // Every dealt record has come back with a result: the next split may go ahead.
    bool finished() const;
};

// The mark of a record dealt to a part while it is out: Dialrun skips every marked record,
// so the master's own run cannot call it too.
constexpr char DEALT_MARK = 'S';

std::filesystem::path state_path(const std::filesystem::path& list);

// A deal of the list is out: its state file is there and not every dealt record has come
// back (an unreadable state counts as out). The list is then the parts' as much as its own.
bool deal_open(const std::filesystem::path& list);

// A deal written beside the list but cut short before the master's records were marked S:
// no other deal may follow, and nothing may change the master, until the same split is run
// again and finishes it. A merge cut short (dealt records carrying the parts' results) is not
// one. Reads the state.
bool deal_cut_short(const std::filesystem::path& list, const std::string& master,
                    SplitState& state);

// What to tell the operator of such a deal: what was dealt, where, and how to go on.
std::string cut_deal_advice(const std::filesystem::path& list, const SplitState& state);

std::string state_text(const SplitState& state);
// "" or what is wrong with the text.
std::string parse_state(const std::string& text, SplitState& state);

}  // namespace ringlist
