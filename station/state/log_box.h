#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace station {

class Journal;

// The form's log list box. Worker threads append to it directly, as the original did through
// the list box's window; a front end is told of every change.
class LogBox {
  public:
    struct Listener {
        std::function<void(const std::string& line, bool selected)> added;
        std::function<void()> cleared;
    };

    void set_listener(Listener listener);
    // Every line added also goes to journal, in the order the box gets them; null: none.
    void set_journal(Journal* journal);
    // Appends a line and makes it the current selection, so the newest line is visible.
    void add(const std::string& line) { append(line, true); }
    // Appends a line and leaves the selection where it was.
    void add_unselected(const std::string& line) { append(line, false); }
    void clear();

    int count() const;
    int selection() const;  // -1 when nothing is selected
    std::vector<std::string> lines() const;

  private:
    void append(const std::string& line, bool select);

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    int selection_ = -1;
    Listener listener_;
    Journal* journal_ = nullptr;
};

}  // namespace station
