#include "control/controller.h"

#include <algorithm>
#include <cstdlib>

#include "sequences/survey.h"
#include "sequences/upload.h"

namespace station {

namespace {

const char* const RECONNECTING_STATUS = "Восстановление связи с платами !";

}  // namespace

Controller::Controller(const ProgramDescriptor& program, core::Link& link, core::Clock& clock,
                       core::DriveC drive, core::Sound& sound)
    : program_(program), state_(link, clock, std::move(drive)), sound_(sound) {}

const UploadTable* Controller::upload_table(Button button) const {
    for (const auto& [upload_button, table] : program_.uploads) {
        if (upload_button == button) {
            return table;
        }
    }
    return nullptr;
}

Controller::~Controller() {
    close();
}

void Controller::set_journal(Journal* journal) {
    journal_ = journal;
    state_.log.set_journal(journal);
}

void Controller::start(FrontEnd& front_end, const std::string& start_notes) {
    front_end_ = &front_end;
    form_model().status_text = STATUS_SURVEY;
    state_.link_state = LINK_SURVEY;
    state_.upload_permit = 0;
    // The notes before anything else, a line each.
    for (size_t at = 0; at < start_notes.size();) {
        size_t end = std::min(start_notes.find('\n', at), start_notes.size());
        state_.log.add(start_notes.substr(at, end - at));
        at = end + 1;
    }
    state_.link.set_report([this](const std::string& text) {
        state_.log.add(text);
        std::lock_guard lock(status_mutex_);
        link_reason_ = text;
    });
    update_data();
    claim_worker();
    threads_.emplace_back([this] {
        channel_survey(state_, program_.survey_pauses, messages());
        release_worker();
    });
    start_program_workers();
    start_shared_workers();
}

// The upload threads of the program's upload buttons, then the phoneme check.
void Controller::start_shared_workers() {
    for (Button button : {Button::upload, Button::informer_upload, Button::time_upload}) {
        const UploadTable* table = upload_table(button);
        if (table == nullptr) {
            continue;
        }
        core::AutoResetEvent& event =
            button == Button::time_upload ? state_.time_upload_event : state_.upload_event;
        start_worker(event, [this, table] {
            run_upload(state_, *table, sound_, messages(), upload_channel_);
        });
    }
    start_worker(state_.check_event, [this] {
        phoneme_check(state_, program_.check_texts, messages(), check_channel_);
    });
    if (reconnect_every_ > core::Duration{0}) {
        start_worker(reconnect_event_, [this] { reconnect_turn(); });
    }
}

void Controller::end_program(int status, const std::function<void()>& before_exit) {
    if (busy()) {
        {
            std::lock_guard lock(status_mutex_);
            if (end_reason_.empty()) {
                end_reason_ = "Программа закрыта во время работы";
            }
        }
        exit_now(status, before_exit);
    }
    close();
    // The last status now, while the front end that says a failure to write it is still there.
    if (before_exit_) {
        before_exit_();
    }
}

// The workers may be waiting on the link: the process ends without them, but not before the
// status file says it ended and the journal holds the minute's polls.
void Controller::exit_now(int status, const std::function<void()>& before_exit) {
    if (before_exit_) {
        before_exit_();
    }
    if (journal_ != nullptr) {
        journal_->flush();
    }
    if (before_exit) {
        before_exit();
    }
    std::_Exit(status);
}

void Controller::request_end(const std::string& text, const std::string& why) {
    state_.log.add(text);
    if (state_.ending) {
        update_data();
        return;
    }
    {
        std::lock_guard lock(status_mutex_);
        end_reason_ = why;
    }
    if (autostart_ == Autostart::due) {
        autostart_ = Autostart::off;  // the survey's end starts nothing
    }
    if (reconnecting_) {
        reconnect_cancelled_ = true;
    } else if (state_.link_state == LINK_WORK) {
        press(Button::stop);
    }
    // After the stop: a pause that wakes finds its run stopped.
    state_.ending = true;
    state_.clock.wake_sleepers();
    update_data();
}

std::string Controller::end_reason() const {
    std::lock_guard lock(status_mutex_);
    return end_reason_;
}

void Controller::close() {
    for (core::AutoResetEvent* e :
         {&state_.work_event, &state_.upload_event, &state_.time_upload_event, &state_.check_event,
          &reconnect_event_}) {
        e->close();
    }
    for (std::thread& t : threads_) {
        if (t.joinable()) {
            t.join();
        }
    }
    threads_.clear();
}

void Controller::OnChannelK(int n) {
    if (n < 1 || n > core::CHANNEL_COUNT || state_.link_state == LINK_WORK) {
        return;
    }
    form_model().channel_radio = n - 1;
    state_.table.current_channel = n - 1;
    update_data();
}

bool Controller::has_button(Button button) const {
    if (button == Button::start || button == Button::stop) {
        return program_.has_engine;
    }
    return button == Button::permit || button == Button::check || upload_table(button) != nullptr;
}

std::optional<std::string> Controller::press(Button button) {
    std::optional<std::string> box = on_button(button);
    if (journal_ != nullptr) {
        journal_->write("press", button_word(button));
        if (box) {
            journal_->write("box", *box);
        }
    }
    return box;
}

std::optional<std::string> Controller::on_button(Button button) {
    if (state_.ending && button != Button::stop) {
        // The program is ending: nothing new starts.
        return button == Button::start ? std::optional<std::string>("Запрет старта ! ")
                                       : std::nullopt;
    }
    if (button == Button::stop && reconnecting_) {
        reconnect_cancelled_ = true;  // the reconnecting worker ends at once
        state_.clock.wake_sleepers();
        return std::nullopt;
    }
    if (button == Button::start && program_.has_engine) {
        return OnStart();
    }
    if (button == Button::stop && program_.has_engine) {
        return OnStop();
    }
    if (button == Button::permit) {
        return OnUploadPermit();
    }
    if (button == Button::check) {
        return OnCheck();
    }
    if (upload_table(button) != nullptr) {
        return OnUpload(button);
    }
    return std::nullopt;
}

// "Контроль Ф.": the board plays its phonemes while the operator listens on the line; the
// box stays up meanwhile, and the check ends when the board has played them all.
std::optional<std::string> Controller::OnCheck() {
    if (state_.link_state != LINK_FREE) {
        return "Запрещен контроль фонем ! ";
    }
    int channel = state_.table.current_channel;
    if (state_.table.channel_present[channel] == 0) {
        return "Нет канала ! ";
    }
    state_.link_state = LINK_CHECK;
    check_channel_ = channel;
    claim_worker();
    state_.check_event.set();
    return "           ВНИМАНИЕ !\nПозвонить,прослушать все фонемы\n     и нажать ОК! ";
}

// An upload button: one permission, one upload. Its files are checked before anything is
// sent, so a missing one refuses the upload and leaves the permission given.
std::optional<std::string> Controller::OnUpload(Button button) {
    const UploadTable& table = *upload_table(button);
    if (state_.link_state != LINK_FREE) {
        return "Запись запрещена! ";
    }
    int channel = state_.table.current_channel;
    if (state_.table.channel_present[channel] == 0) {
        return "Нет канала ! ";
    }
    if (state_.upload_permit == 0) {
        return "Нет разрешения Записи! ";
    }
    std::string refusal = check_upload_files(table, state_.drive, sound_);
    if (!refusal.empty()) {
        return refusal;
    }
    state_.link_state = LINK_UPLOAD;
    form_model().status_text = table.status_prefix + core::channel_number(channel);
    state_.upload_permit = 0;
    upload_channel_ = channel;
    claim_worker();
    (button == Button::time_upload ? state_.time_upload_event : state_.upload_event).set();
    update_data();
    return std::nullopt;
}

// "Да/Нет З.Ф.": one press allows exactly one upload, the next press takes it back.
std::optional<std::string> Controller::OnUploadPermit() {
    if (state_.link_state != LINK_FREE) {
        return "Запрещено ! ";
    }
    if (state_.upload_permit != 0) {
        state_.upload_permit = 0;
        return "         Включен\nзапрет записи " + program_.prohibition_subject + " !";
    }
    state_.upload_permit = 1;
    return "        Отключен\nзапрет записи " + program_.prohibition_subject + " !";
}

bool Controller::wait_idle(std::chrono::milliseconds real_timeout) {
    std::unique_lock lock(idle_mutex_);
    return idle_changed_.wait_for(lock, real_timeout, [&] { return active_workers_ == 0; });
}

std::vector<std::string> Controller::row(int k) const {
    const FormModel& f = form_model();
    return {std::to_string(f.channel_box[k]), std::to_string(f.line_box[k]), f.mode_text[k]};
}

std::vector<std::pair<std::string, std::string>> Controller::show() const {
    const FormModel& f = form_model();
    std::vector<std::pair<std::string, std::string>> members{
        {"status_text", f.status_text},
        {"channel_radio", std::to_string(f.channel_radio)},
    };
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        std::string channel = "[K" + core::channel_number(k) + "]";
        members.push_back({"channel_box" + channel, std::to_string(f.channel_box[k])});
        members.push_back({"line_box" + channel, std::to_string(f.line_box[k])});
        members.push_back({"mode_text" + channel, f.mode_text[k]});
    }
    members.push_back({"log_count", std::to_string(state_.log.count())});
    members.push_back({"log_selection", std::to_string(state_.log.selection())});
    members.push_back({"link_state", std::to_string(static_cast<int>(state_.link_state.load()))});
    members.push_back({"current_channel", std::to_string(state_.table.current_channel.load())});
    members.push_back({"upload_permit", std::to_string(state_.upload_permit.load())});
    return members;
}

void Controller::form_update(int channel) {
    front_end_->run_on_ui([&] {
        state_.table.current_channel = channel;
        OnFormUpdate();
    });
}

void Controller::form_state(int code, int channel) {
    front_end_->run_on_ui([&] {
        if (channel >= 0) {
            state_.table.current_channel = channel;
        }
        OnFormState(code);
    });
}

void Controller::end_turn(LinkState link_state, int code, int channel) {
    front_end_->run_on_ui([&] {
        if (channel >= 0) {
            state_.table.current_channel = channel;
        }
        bool survey_ended = state_.link_state == LINK_SURVEY;
        state_.link_state = link_state;
        OnFormState(code);
        if (survey_ended) {
            state_.service.ready();
            journal_survey();
        }
        if (link_state == LINK_WORK_ENDED && state_.run_failed &&
            reconnect_every_ > core::Duration{0}) {
            begin_reconnect();
        }
        // The survey's end is the first turn that frees the link.
        if (autostart_ == Autostart::due && link_state == LINK_FREE) {
            start_unattended();
        }
    });
}

// On the user-interface side, as the failed run ends. The link stays out of the operator's
// reach ("Запрет старта !") while the worker has it.
void Controller::begin_reconnect() {
    std::string reason;
    {
        std::lock_guard lock(status_mutex_);
        reason = link_reason_.empty() ? "Платы перестали отвечать" : link_reason_;
        failure_reason_ = reason;
        link_reason_.clear();  // a later failure has its own
    }
    if (journal_ != nullptr) {
        journal_->write("link", "потеряна: " + reason);
    }
    reconnecting_ = true;
    reconnect_cancelled_ = false;
    reconnect_since_ = core::calendar_seconds(state_.clock.local_time());
    long every = static_cast<long>(
        std::chrono::duration_cast<std::chrono::seconds>(reconnect_every_).count());
    state_.log.add("Нет связи с платами; новая попытка через " + std::to_string(every) + " с");
    form_model().status_text = RECONNECTING_STATUS;
    update_data();
    claim_worker();
    reconnect_event_.set();
}

void Controller::reconnect_turn() {
    std::string said;  // a port that stays away is named once, not at every try
    while (reconnect_pause()) {
        std::string reason = state_.link.reopen();
        if (!reason.empty()) {
            if (reason != said) {
                said = reason;
                state_.log.add(core::port_not_opened_text(state_.link.port_name(), reason));
            }
            continue;
        }
        said.clear();
        if (survey_and_restart()) {
            return;
        }
    }
    front_end_->run_on_ui([&] {
        state_.run_failed = false;  // stopped by the operator, not by the link
        end_reconnect("Восстановление связи остановлено");
    });
}

// Waits out one interval in steps of a second; a stop wakes it at once. False when the
// operator stopped it.
bool Controller::reconnect_pause() {
    for (core::Duration waited{0}; waited < reconnect_every_; waited += std::chrono::seconds(1)) {
        if (reconnect_cancelled_) {
            return false;
        }
        state_.service.alive();
        state_.clock.sleep_for_woken(
            std::min<core::Duration>(std::chrono::seconds(1), reconnect_every_ - waited),
            reconnect_cancelled_);
    }
    return !reconnect_cancelled_;
}

// The port is open again: the survey, then the program's own start. False when the boards
// are not back yet; the link is then kept for the next try.
bool Controller::survey_and_restart() {
    // The survey reads with the protocol's 2 s, whatever limit the last run set.
    core::Duration limit = state_.link.reply_limit();
    state_.link.set_reply_limit(std::chrono::seconds(2));
    state_.link_state = LINK_SURVEY;
    channel_survey(state_, program_.survey_pauses, messages());
    state_.link.set_reply_limit(limit);
    bool started = false;
    front_end_->run_on_ui([&] {
        if (state_.link_state != LINK_FREE || reconnect_cancelled_) {
            state_.link_state = LINK_WORK_ENDED;
            return;
        }
        std::optional<std::string> refusal = on_button(Button::start);
        if (refusal) {
            state_.link_state = LINK_WORK_ENDED;
            state_.log.add(*refusal);
            form_model().status_text = RECONNECTING_STATUS;
            update_data();
            return;
        }
        start_program_workers();  // the engine's thread of this run takes the work at once
        started = true;
        end_reconnect("Связь с платами восстановлена");
    });
    return started;
}

// On the user-interface side: the worker is done with the link.
void Controller::end_reconnect(const std::string& text) {
    reconnecting_ = false;
    state_.log.add(text);
    if (journal_ != nullptr) {
        journal_->write("link", text);
    }
    update_data();
}

// The survey's result, a row a channel as the form shows it then.
void Controller::journal_survey() {
    if (journal_ == nullptr) {
        return;
    }
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        std::string text = "K";
        text += std::to_string(k + 1);
        for (const std::string& field : row(k)) {
            text += '\t';
            text += field;
        }
        journal_->write("row", text);
    }
}

void Controller::start_unattended() {
    std::optional<std::string> refusal = press(Button::start);
    autostart_ = refusal ? Autostart::refused : Autostart::started;
    if (refusal) {
        state_.log.add(*refusal);
        update_data();
    }
}

void Controller::OnFormUpdate() {
    form_model().channel_radio = state_.table.current_channel;
    update_data();
}

bool Controller::show_status_code(int code, const std::string& work_ended_status) {
    FormModel& f = form_model();
    std::atomic<int>& current = state_.table.current_channel;
    switch (code) {
        case FORM_IDLE:
            // The link is free again: the radio shows the channel a check or an upload would
            // serve (K8 after the survey, whatever was clicked meanwhile).
            f.status_text = program_.idle_status;
            f.channel_radio = current;
            return true;
        case FORM_WORK_ENDED:
            f.status_text = work_ended_status;
            break;
        case FORM_CHECKING:
            f.status_text = check_status(current);
            break;
        default:
            return false;
    }
    // The selection shown is the channel the operator sees as current.
    if (f.channel_radio >= 0) {
        current = f.channel_radio;
    }
    return true;
}

void Controller::show_channel_row(const std::string& dtmf_name) {
    const ChannelTable& t = state_.table;
    int k = t.current_channel;
    FormModel& f = form_model();
    f.mode_text[k] = mode_name(t.channel_mode[k], dtmf_name);
    f.channel_box[k] = 1;
    f.line_box[k] = t.has_line(k) ? 1 : 0;
}

void Controller::update_data() {
    if (journal_ != nullptr) {
        if (form_model().status_text != journaled_status_) {
            journaled_status_ = form_model().status_text;
            journal_->write("status", journaled_status_);
        }
        std::string error = journal_->take_error();
        if (!error.empty()) {
            state_.log.add("Журнал не записывается: " + error);
        }
    }
    take_status();
    if (front_end_ != nullptr) {
        front_end_->form_changed();
    }
}

// The status as the form is about to show it, for the status file's writer.
void Controller::take_status() {
    StatusReport report;
    bool working = state_.link_state == LINK_WORK;
    report.state = reconnecting_                   ? "reconnecting"
                   : working && paused_until_ != 0 ? "paused"
                   : working                       ? "running"
                                                   : "idle";
    report.until = paused_until_;
    report.since = reconnect_since_;
    const ChannelTable& t = state_.table;
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        if (t.channel_present[k] != 0) {
            report.channels.push_back(
                {k + 1, mode_name(t.channel_mode[k]), t.has_line(k), t.last_reply[k].load()});
        }
    }
    report.counts = status_counts();
    std::lock_guard lock(status_mutex_);
    report.reason = report.state == "paused"                    ? pause_reason_
                    : !failure_reason_.empty()                  ? failure_reason_
                    : state_.run_failed && link_reason_.empty() ? "Платы перестали отвечать"
                                                                : link_reason_;
    status_ = std::move(report);
}

StatusReport Controller::status_report() const {
    std::lock_guard lock(status_mutex_);
    return status_;
}

void Controller::start_worker(core::AutoResetEvent& event, std::function<void()> turn) {
    threads_.emplace_back([this, &event, turn = std::move(turn)] {
        while (event.wait()) {
            turn();
            release_worker();
        }
    });
}

void Controller::start_engine_worker(std::function<void()> run) {
    join_finished_engines();
    threads_.emplace_back([this, run = std::move(run)] {
        if (state_.work_event.wait()) {
            run();
            release_worker();
        }
        std::lock_guard lock(finished_mutex_);
        finished_engines_.push_back(std::this_thread::get_id());
    });
}

// Each reconnect starts an engine of its own; one whose run is over is joined here, or every
// reconnect would keep one more thread's stack until the program ends.
void Controller::join_finished_engines() {
    std::vector<std::thread::id> finished;
    {
        std::lock_guard lock(finished_mutex_);
        finished.swap(finished_engines_);
    }
    std::erase_if(threads_, [&finished](std::thread& t) {
        if (std::find(finished.begin(), finished.end(), t.get_id()) == finished.end()) {
            return false;
        }
        t.join();  // its last step is done: this waits only for the thread's exit
        return true;
    });
}

std::optional<std::string> Controller::start_refusal(bool any_channel,
                                                     const std::string& no_channel_text) {
    if (state_.link_state != LINK_FREE) {
        return "Запрет старта ! ";
    }
    if (!any_channel) {
        update_data();
        return no_channel_text;
    }
    return std::nullopt;
}

std::optional<std::string> Controller::stop_refusal() const {
    if (state_.link_state != LINK_WORK) {
        return "Запрет Останова ! ";
    }
    return std::nullopt;
}

void Controller::start_engine_turn(const std::string& status) {
    state_.link_state = LINK_WORK;
    claim_worker();
    state_.work_event.set();
    form_model().status_text = status;
}

void Controller::show_pause(int64_t until, const std::string& reason) {
    paused_until_ = until;
    {
        std::lock_guard lock(status_mutex_);
        pause_reason_ = reason;
    }
    journal_event("pause", until != 0 ? "до " +
                                            core::format_local_time(
                                                core::local_time_from_calendar_seconds(until),
                                                "%Y-%m-%d %H:%M:%S") +
                                            ": " + reason
                                      : "конец");
}

void Controller::claim_worker() {
    std::lock_guard lock(idle_mutex_);
    ++active_workers_;
}

void Controller::release_worker() {
    std::lock_guard lock(idle_mutex_);
    --active_workers_;
    idle_changed_.notify_all();
}

}  // namespace station
