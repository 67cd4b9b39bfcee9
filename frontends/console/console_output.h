#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>

namespace program {

// The console's lines go out through a thread of their own: a reader that stopped reading
// (a pipe nobody empties) holds up that thread only. Until the program is asked to end, a
// full queue makes the writer of a line wait, as a blocked standard output always did; from
// then on it waits only while the reader takes lines: one that takes nothing for a while is
// given up, and the lines it would have had are left out, so that the work under way, its
// end and the program's exit go on.
class ConsoleOutput {
  public:
    // Into a stream (a test's): written at once, since its writes are taken to return.
    explicit ConsoleOutput(std::ostream& out);
    // Into a descriptor (standard output): each write waits only while the program is not
    // giving up on its reader.
    explicit ConsoleOutput(int fd);
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    void write(const std::string& bytes);
    // The program is ending: from now on a reader that takes nothing for a while is given up.
    void stop_waiting();
    // Waits until every line is out, as long as the reader takes some within patience each
    // time; then the reader is given up. True when all went out.
    bool finish(std::chrono::milliseconds patience);
    // Lines left out since stop_waiting().
    uint64_t dropped() const;

  private:
    void run();
    bool put(const std::string& bytes);
    // With the lock held: the reader is given up, and what waits for it is counted as lost.
    void give_up();

    std::ostream* out_ = nullptr;
    int fd_ = -1;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> queue_;
    size_t queued_bytes_ = 0;
    bool not_waiting_ = false;
    bool given_up_ = false;
    bool closing_ = false;
    bool writing_ = false;
    uint64_t dropped_ = 0;
    uint64_t written_ = 0;  // lines out so far, to tell a moving reader from a stuck one
    std::thread writer_;
};

}  // namespace program
