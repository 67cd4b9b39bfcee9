#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ringlist {

// What a split dealt, kept beside the master list (Ring.TXT.split) so that a merge brings
// each part's marks back by the same deal, and how far each part's logs have been merged.
struct SplitState {
    int parts = 0;
    std::vector<size_t> deal;  // master record indexes, dealt round-robin: part i % parts
    struct Merged {
        long long notified = 0;      // bytes of the part's RINGY.txt already appended
        long long not_notified = 0;  // and of its RINGN.txt
    };
    std::vector<Merged> merged;

    // Which master records part k holds, in its order.
    std::vector<size_t> part_records(int k) const;
};

std::filesystem::path state_path(const std::filesystem::path& list);

std::string state_text(const SplitState& state);
// "" or what is wrong with the text.
std::string parse_state(const std::string& text, SplitState& state);

}  // namespace ringlist
