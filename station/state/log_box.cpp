#include "state/log_box.h"

#include "state/journal.h"

namespace station {

void LogBox::set_listener(Listener listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

void LogBox::set_journal(Journal* journal) {
    std::lock_guard lock(mutex_);
    journal_ = journal;
}

void LogBox::append(const std::string& line, bool select) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
    if (select) {
        selection_ = static_cast<int>(lines_.size()) - 1;
    }
    if (journal_ != nullptr) {
        journal_->log_line(line);
    }
    if (listener_.added) {
        listener_.added(line, select);
    }
}

void LogBox::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
    selection_ = -1;
    if (listener_.cleared) {
        listener_.cleared();
    }
}

int LogBox::count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(lines_.size());
}

int LogBox::selection() const {
    std::lock_guard lock(mutex_);
    return selection_;
}

std::vector<std::string> LogBox::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

}  // namespace station
