#include "console/console_front_end.h"

#include <cstdlib>
#include <istream>
#include <ostream>
#include <sstream>

#include "base/plain_text.h"

namespace program {

using station::Button;

ConsoleFrontEnd::ConsoleFrontEnd(station::Controller& controller, core::Clock& clock,
                                 core::VirtualClock* virtual_clock, std::ostream& out)
    : ConsoleFrontEnd(controller, clock, virtual_clock, std::make_unique<ConsoleOutput>(out)) {}

ConsoleFrontEnd::ConsoleFrontEnd(station::Controller& controller, core::Clock& clock,
                                 core::VirtualClock* virtual_clock, int out_fd)
    : ConsoleFrontEnd(controller, clock, virtual_clock, std::make_unique<ConsoleOutput>(out_fd)) {}

ConsoleFrontEnd::ConsoleFrontEnd(station::Controller& controller, core::Clock& clock,
                                 core::VirtualClock* virtual_clock,
                                 std::unique_ptr<ConsoleOutput> output)
    : controller_(controller),
      clock_(clock),
      virtual_clock_(virtual_clock),
      out_(std::move(output)) {
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        shown_rows_.push_back(controller_.row(k));
    }
    shown_progress_ = controller_.progress();
    controller_.state().log.set_listener(
        {[this](const std::string& line, bool) { print("log", line); },
         [this] { print("clear", ""); }});
    if (virtual_clock_ != nullptr) {
        virtual_clock_->hold_at(virtual_clock_->now());
    }
}

ConsoleFrontEnd::Handler::Handler(ConsoleFrontEnd& console)
    : console_(console), ui_lock_(console.ui_mutex_) {
    std::lock_guard lock(console_.out_mutex_);
    console_.handler_running_ = true;
    console_.handler_thread_ = std::this_thread::get_id();
}

ConsoleFrontEnd::Handler::~Handler() {
    std::lock_guard lock(console_.out_mutex_);
    for (const auto& [tag, text] : console_.held_lines_) {
        console_.write_line(tag, text);
    }
    console_.held_lines_.clear();
    console_.handler_running_ = false;
}

void ConsoleFrontEnd::run_on_ui(const std::function<void()>& handler) {
    Handler on_ui(*this);
    handler();
}

void ConsoleFrontEnd::form_changed() {
    const station::FormModel& form = controller_.form();
    if (form.status_text != shown_status_) {
        shown_status_ = form.status_text;
        print("status", shown_status_);
    }
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        std::vector<std::string> row = controller_.row(k);
        if (row != shown_rows_[k]) {
            shown_rows_[k] = row;
            // Appended piece by piece: GCC 12 at -O3 sees a false overlap in "K" + to_string.
            std::string text = "K";
            text += std::to_string(k + 1);
            for (const std::string& field : row) {
                text += '\t';
                text += field;
            }
            print("row", text);
        }
    }
    print_list_changes();
}

void ConsoleFrontEnd::print_list_changes() {
    auto lists = controller_.form_lists();
    shown_list_sizes_.resize(lists.size(), 0);
    for (size_t l = 0; l < lists.size(); ++l) {
        const auto& [caption, entries] = lists[l];
        if (entries->size() < shown_list_sizes_[l]) {
            shown_list_sizes_[l] = 0;  // emptied for a run started again
        }
        for (size_t i = shown_list_sizes_[l]; i < entries->size(); ++i) {
            print("list", caption + "\t" + std::string(entries->at(i)));
        }
        shown_list_sizes_[l] = entries->size();
    }
    int progress = controller_.progress();
    if (progress != shown_progress_) {
        shown_progress_ = progress;
        print("progress", std::to_string(progress));
    }
}

void ConsoleFrontEnd::print(const std::string& tag, const std::string& text) {
    std::lock_guard lock(out_mutex_);
    if (handler_running_ && std::this_thread::get_id() != handler_thread_) {
        held_lines_.push_back({tag, text});
        return;
    }
    write_line(tag, text);
}

void ConsoleFrontEnd::write_line(const std::string& tag, const std::string& text) {
    out_->write(tag + '\t' + core::one_line(text) + '\n');
}

bool ConsoleFrontEnd::finish_output() {
    // A reader that takes nothing for this long is taken to be gone.
    return out_->finish(std::chrono::seconds(2));
}

int ConsoleFrontEnd::run(std::istream& in) {
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!obey(line)) {
            return 0;
        }
    }
    input_ended_ = true;
    wait_until_idle();
    return 0;
}

// Carries out one command line; false for "quit".
bool ConsoleFrontEnd::obey(const std::string& line) {
    std::istringstream words(line);
    std::string word;
    std::string argument;
    if (!(words >> word)) {
        return true;
    }
    words >> argument;
    if (word == "quit") {
        return false;
    }
    if (word.size() == 2 && word[0] == 'K' && word[1] >= '1' && word[1] <= '8') {
        Handler on_ui(*this);
        controller_.OnChannelK(word[1] - '0');
        return true;
    }
    for (Button button : station::ALL_BUTTONS) {
        if (word == station::button_word(button) && controller_.has_button(button)) {
            press(button);
            return true;
        }
    }
    if (word == "wait") {
        wait_until_idle();
    } else if (word == "sleep" && !argument.empty()) {
        char* end = nullptr;
        double seconds = std::strtod(argument.c_str(), &end);
        if (*end != 0 || !(seconds >= 0) || seconds > 1e7) {
            print("box", "Неверное число секунд: " + argument);
        } else {
            sleep_program_time(seconds);
        }
    } else if (word == "show") {
        show();
    } else {
        Handler on_ui(*this);
        if (!controller_.program_command(word, argument)) {
            print("box", "Неизвестная команда: " + line);
        }
    }
    return true;
}

void ConsoleFrontEnd::press(Button button) {
    Handler on_ui(*this);
    std::optional<std::string> box = controller_.press(button);
    if (box) {
        print("box", *box);  // answered with OK at once
    }
    form_changed();
}

void ConsoleFrontEnd::request_end(const std::string& text, const std::string& why) {
    // First of all: a reader that stopped reading must not hold up the stop, nor the end of
    // the work under way, nor the exit.
    out_->stop_waiting();
    {
        Handler on_ui(*this);
        controller_.request_end(text, why);
        form_changed();
    }
    if (virtual_clock_ != nullptr) {
        virtual_clock_->release_hold();
    }
}

void ConsoleFrontEnd::wait_until_idle() {
    if (virtual_clock_ != nullptr) {
        virtual_clock_->release_hold();
    }
    while (!controller_.wait_idle(std::chrono::milliseconds(200))) {
    }
    if (virtual_clock_ != nullptr) {
        virtual_clock_->hold_at(virtual_clock_->now());
    }
}

void ConsoleFrontEnd::sleep_program_time(double seconds) {
    core::Duration until = clock_.now() + core::Duration(static_cast<int64_t>(seconds * 1e6));
    if (virtual_clock_ == nullptr) {
        clock_.sleep_until(until);
        return;
    }
    // Let the workers run up to that moment and hold them there; with nobody running, the
    // clock is simply moved on.
    virtual_clock_->hold_at(until);
    while (!virtual_clock_->wait_reached(until, std::chrono::milliseconds(20))) {
        if (!controller_.busy()) {
            virtual_clock_->advance_to(until);
        }
    }
}

void ConsoleFrontEnd::show() {
    Handler on_ui(*this);
    for (const auto& [name, value] : controller_.show()) {
        print("show", name + "\t" + value);
    }
}

}  // namespace program
