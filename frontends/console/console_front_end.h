#pragma once

#include <atomic>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "console/console_output.h"
#include "control/controller.h"
#include "form/front_end.h"
#include "time/virtual_clock.h"

namespace program {

// The front end for automation and for machines without a display: events on standard
// output, one line each ("tag<TAB>text"), operator commands from standard input.
// Under a virtual clock the console holds the clock while it reads and obeys commands, so
// that every command acts at an exact moment of program time; "sleep" and "wait" let it run.
// The output is ordered as the window shows it, whatever the threads' timing: what a handler
// changes comes out before anything printed meanwhile by other threads (a worker it has just
// woken), and everything else in the order it was produced.
class ConsoleFrontEnd : public station::FrontEnd {
  public:
    ConsoleFrontEnd(station::Controller& controller, core::Clock& clock,
                    core::VirtualClock* virtual_clock, std::ostream& out);
    // Lines go to the descriptor (standard output) by a writer of their own.
    ConsoleFrontEnd(station::Controller& controller, core::Clock& clock,
                    core::VirtualClock* virtual_clock, int out_fd);

    void run_on_ui(const std::function<void()>& handler) override;
    void form_changed() override;

    // Reads commands until "quit" or the end of input; returns the exit status.
    int run(std::istream& in);
    // Prints one event line; safe from any thread.
    void print(const std::string& tag, const std::string& text);
    // A button pressed as the operator would press it; safe from any thread.
    void press(station::Button button);
    // The program is asked to end (a stop signal); safe from any thread. Program time runs
    // on from here, so that the work under way can end.
    void request_end(const std::string& text, const std::string& why);
    // Standard input has ended (run is past its reading).
    bool input_ended() const { return input_ended_; }
    // Before the program exits: every line out, while a reader takes them; true when all
    // went out.
    bool finish_output();
    // Lines a reader that stopped reading never got.
    uint64_t lines_lost() const { return out_->dropped(); }

  private:
    ConsoleFrontEnd(station::Controller& controller, core::Clock& clock,
                    core::VirtualClock* virtual_clock, std::unique_ptr<ConsoleOutput> output);

    // A handler running on the "user-interface side": one at a time, and while it runs the
    // lines other threads print wait for its end.
    class Handler {
      public:
        explicit Handler(ConsoleFrontEnd& console);
        ~Handler();
        Handler(const Handler&) = delete;
        Handler& operator=(const Handler&) = delete;

      private:
        ConsoleFrontEnd& console_;
        std::lock_guard<std::mutex> ui_lock_;
    };

    void write_line(const std::string& tag, const std::string& text);
    bool obey(const std::string& line);
    void wait_until_idle();
    void sleep_program_time(double seconds);
    void show();
    void print_list_changes();

    station::Controller& controller_;
    core::Clock& clock_;
    core::VirtualClock* virtual_clock_;
    std::unique_ptr<ConsoleOutput> out_;
    std::mutex ui_mutex_;
    std::mutex out_mutex_;
    std::thread::id handler_thread_;  // guarded by out_mutex_, as is what follows
    bool handler_running_ = false;
    std::vector<std::pair<std::string, std::string>> held_lines_;
    std::string shown_status_;
    std::vector<std::vector<std::string>> shown_rows_;
    std::vector<size_t> shown_list_sizes_;
    int shown_progress_ = -1;
    std::atomic<bool> input_ended_{false};
};

}  // namespace program
