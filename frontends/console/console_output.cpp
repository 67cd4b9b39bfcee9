#include "console/console_output.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ostream>

#ifndef _WIN32
#include <poll.h>
#include <unistd.h>
#endif

namespace program {

namespace {

// What may wait for the reader before a writer waits too: many screens of lines.
constexpr size_t QUEUE_LIMIT = 1 << 20;
// How long a reader may take nothing before the program ends without it.
constexpr std::chrono::seconds PATIENCE{2};

}  // namespace

ConsoleOutput::ConsoleOutput(std::ostream& out) : out_(&out) {}

ConsoleOutput::ConsoleOutput(int fd) : fd_(fd) {
    writer_ = std::thread([this] { run(); });
}

ConsoleOutput::~ConsoleOutput() {
    if (!writer_.joinable()) {
        return;
    }
    finish(PATIENCE);
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        given_up_ = true;
    }
    changed_.notify_all();
    writer_.join();
}

void ConsoleOutput::write(const std::string& bytes) {
    std::unique_lock lock(mutex_);
    if (out_ != nullptr) {
        put(bytes);  // a stream of the caller's: written at once, in the caller's order
        return;
    }
    while (queued_bytes_ >= QUEUE_LIMIT && !given_up_) {
        if (!not_waiting_) {
            changed_.wait(lock);
            continue;
        }
        // Ending: a slow reader is waited for, one that takes nothing for a while is given up.
        uint64_t before = written_;
        if (!changed_.wait_for(lock, PATIENCE, [&] {
                return written_ != before || queued_bytes_ < QUEUE_LIMIT || given_up_;
            })) {
            give_up();
        }
    }
    if (given_up_) {
        ++dropped_;
        return;
    }
    queue_.push_back(bytes);
    queued_bytes_ += bytes.size();
    changed_.notify_all();
}

void ConsoleOutput::stop_waiting() {
    std::lock_guard lock(mutex_);
    not_waiting_ = true;
    changed_.notify_all();
}

bool ConsoleOutput::finish(std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if ((queue_.empty() && !writing_) || given_up_) {
            return !given_up_ && dropped_ == 0;
        }
        uint64_t before = written_;
        if (!changed_.wait_for(lock, patience, [&] {
                return written_ != before || (queue_.empty() && !writing_) || given_up_;
            })) {
            give_up();  // the reader took nothing for a while: it is gone for us
        }
    }
}

// Counted when given up, not when the writer thread comes to them: the count is said at once.
void ConsoleOutput::give_up() {
    if (given_up_) {
        return;
    }
    given_up_ = true;
    dropped_ += queue_.size() + (writing_ ? 1 : 0);
    queue_.clear();
    queued_bytes_ = 0;
    changed_.notify_all();
}

uint64_t ConsoleOutput::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void ConsoleOutput::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
        if (queue_.empty()) {
            return;
        }
        std::string bytes = std::move(queue_.front());
        queue_.pop_front();
        queued_bytes_ -= bytes.size();
        writing_ = true;
        lock.unlock();
        bool out = put(bytes);
        lock.lock();
        if (out) {
            ++written_;
        } else {
            give_up();  // standard output is gone: the program goes on without it
        }
        writing_ = false;
        changed_.notify_all();
    }
}

bool ConsoleOutput::put(const std::string& bytes) {
    if (out_ != nullptr) {
        *out_ << bytes;
        out_->flush();
        return static_cast<bool>(*out_);
    }
#ifdef _WIN32
    return false;
#else
    size_t at = 0;
    while (at < bytes.size()) {
        // A short wait at a time, so that a reader given up on is left at once.
        pollfd ready{fd_, POLLOUT, 0};
        int r = ::poll(&ready, 1, 100);
        if (r < 0 && errno != EINTR) {
            return false;
        }
        {
            std::lock_guard lock(mutex_);
            if (given_up_) {
                return false;
            }
        }
        if (r <= 0) {
            continue;
        }
        // No more than a pipe takes whole once it says it has room: the write cannot block.
        size_t piece = std::min<size_t>(bytes.size() - at, PIPE_BUF);
        ssize_t n = ::write(fd_, bytes.data() + at, piece);
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
        at += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return true;
#endif
}

}  // namespace program
