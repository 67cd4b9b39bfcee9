#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace station {

// An unsorted list box's entries, packed into one buffer: a million short entries cost a few
// bytes each, not a string object each.
class TextList {
  public:
    void add(std::string_view entry) {
        text_.append(entry);
        ends_.push_back(static_cast<uint32_t>(text_.size()));
        selection_ = static_cast<int>(ends_.size()) - 1;
    }
    void add_unselected(std::string_view entry) {
        int keep = selection_;
        add(entry);
        selection_ = keep;
    }
    // Removes the last entry equal to entry; false when there is none.
    bool remove(std::string_view entry) {
        for (size_t i = ends_.size(); i-- > 0;) {
            if (at(i) == entry) {
                uint32_t begin = i == 0 ? 0 : ends_[i - 1];
                uint32_t length = ends_[i] - begin;
                text_.erase(begin, length);
                ends_.erase(ends_.begin() + static_cast<long>(i));
                for (size_t j = i; j < ends_.size(); ++j) {
                    ends_[j] -= length;
                }
                if (selection_ > static_cast<int>(i) ||
                    selection_ >= static_cast<int>(ends_.size())) {
                    --selection_;
                }
                return true;
            }
        }
        return false;
    }
    void select_last() { selection_ = static_cast<int>(ends_.size()) - 1; }
    void clear() {
        text_.clear();
        ends_.clear();
        selection_ = -1;
    }

    size_t size() const { return ends_.size(); }
    std::string_view at(size_t i) const {
        uint32_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }
    int selection() const { return selection_; }  // -1: none

  private:
    std::string text_;
    std::vector<uint32_t> ends_;
    int selection_ = -1;
};

}  // namespace station
