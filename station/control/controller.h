#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "control/status_report.h"
#include "form/form_controls.h"
#include "form/form_messages.h"
#include "form/form_model.h"
#include "form/front_end.h"
#include "form/text_list.h"
#include "sequences/phoneme_check.h"
#include "sequences/survey.h"
#include "sequences/upload_table.h"
#include "sound/sound.h"
#include "state/journal.h"
#include "state/program_state.h"

namespace station {

// The program's name (About box, --version) and its window title.
struct ProgramInfo {
    const char* name;   // "Dialrun"
    const char* title;  // "Прозвонка"
};

// What sets one program apart where the shared controller asks: constants, given once when the
// program's controller is made.
struct ProgramDescriptor {
    ProgramInfo info;
    std::string idle_status;                    // the status while the link is free
    std::string prohibition_subject = "Фонем";  // what the upload prohibition protects
    SurveyPauses survey_pauses{};
    CheckTexts check_texts{core::Duration{0}, "===Котроль Фонем завершен==="};
    bool has_engine = false;  // the start and stop of work
    // The program's upload behind each of its upload buttons.
    std::vector<std::pair<Button, const UploadTable*>> uploads;
    // What the journal sums up and hides of the program's log lines.
    JournalRules journal_rules{};
};

// The program without its window: the form's members and handlers, the button handlers and
// the worker threads. The Qt window, the Win32 window and the console are front ends over it.
class Controller : private FormMessages {
  public:
    Controller(const ProgramDescriptor& program, core::Link& link, core::Clock& clock,
               core::DriveC drive, core::Sound& sound);
    virtual ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // Every event from now on also goes to journal (null: none). Before start().
    void set_journal(Journal* journal);
    // After a run that the link ended (no reply in time, the port gone): close the port, open
    // it again every `every`, survey the rack, and start the run again as the operator's press
    // would. Zero, as before: the run just ends. Before start().
    void set_reconnect(core::Duration every) { reconnect_every_ = every; }
    core::Duration reconnect_every() const { return reconnect_every_; }
    // A program's own settings (the keys only it reads), before start(); returns what is wrong.
    virtual std::string take_settings(const std::map<std::string, std::string>&) { return {}; }
    // As the window opens: the first status, the notes in the log (why the port did not open,
    // a missing folder; a line each, empty when all is well), then the survey and the workers.
    void start(FrontEnd& front_end, const std::string& start_notes);
    // Ends the worker threads that are waiting for work; a turn under way is finished first.
    void close();
    // Presses the program's own "Старт" once the survey has ended, as the operator would; a
    // refusal goes to the log, never to a box. For running unattended (--autostart).
    void set_autostart() { autostart_ = Autostart::due; }
    enum class Autostart { off, due, started, refused };
    Autostart autostart() const { return autostart_; }
    // The front end is done, with the given exit status. With work under way the workers end
    // with the process, as the original's did: before_exit runs and the process exits here.
    // Otherwise the controller closes and the caller returns the status.
    void end_program(int status, const std::function<void()>& before_exit = {});
    // The service manager ends the program (a stop signal), on the user-interface side: said
    // in the log as text; the first time, no new work starts, a run is stopped as "Стоп"
    // stops it, a reconnect is given up, the survey and an upload end after the exchange in
    // progress, and a pause ends at once. why is what the status file's last version says.
    void request_end(const std::string& text, const std::string& why);
    bool end_requested() const { return state_.ending; }
    // Why the program ended, where something ended it; "" otherwise.
    std::string end_reason() const;
    // What must be written before an exit that skips the destructors (the status file's last
    // version); the journal is flushed after it.
    void set_before_exit(std::function<void()> write_last) { before_exit_ = std::move(write_last); }
    // Exits here with status, the last words written first: for threads that may still be
    // waiting on the link.
    [[noreturn]] void exit_now(int status, const std::function<void()>& before_exit = {});

    // Channel radio button Kn, n = 1..8 (OnChannelK1..OnChannelK8).
    void OnChannelK(int n);
    // A button; returns the text of the message box to show, if any.
    virtual std::optional<std::string> press(Button button);
    virtual bool has_button(Button button) const;
    // A program's own console command (Dialrun's spins); false when it has none such.
    virtual bool program_command(const std::string&, const std::string&) { return false; }

    // True while a worker is serving something (the survey, a run, an upload, a check).
    bool busy() const { return active_workers_ > 0; }
    // Blocks until no worker is busy or real_timeout has passed; true when idle.
    bool wait_idle(std::chrono::milliseconds real_timeout);
    // The worker threads held (ended ones not yet joined among them), on the user-interface
    // side.
    size_t worker_threads() const { return threads_.size(); }

    ProgramState& state() { return state_; }
    const ProgramState& state() const { return state_; }
    const FormModel& form() const { return form_model(); }
    const ProgramInfo& info() const { return program_.info; }
    const JournalRules& journal_rules() const { return program_.journal_rules; }
    // A channel row as the console shows it: channel box, line box, mode text, and any
    // program's own columns.
    virtual std::vector<std::string> row(int k) const;
    // Every member of the form and the controller's state, as name and value.
    virtual std::vector<std::pair<std::string, std::string>> show() const;
    // A program's own list boxes with their captions (Dialrun's three lists).
    virtual std::vector<std::pair<std::string, const TextList*>> form_lists() const { return {}; }
    // A program's progress bar 0..100, or -1 when it has none.
    virtual int progress() const { return -1; }
    // What the status file says of the program as the form last showed it; safe from any
    // thread.
    StatusReport status_report() const;

  protected:
    virtual FormModel& form_model() = 0;
    virtual const FormModel& form_model() const = 0;
    // The program's own counts for the status file, by name, each value JSON.
    virtual std::vector<std::pair<std::string, std::string>> status_counts() const { return {}; }
    // The program's upload behind an upload button, or null where it has no such button.
    const UploadTable* upload_table(Button button) const;
    // The start and stop of work, for the programs with an engine.
    virtual std::optional<std::string> OnStart() { return std::nullopt; }
    virtual std::optional<std::string> OnStop() { return std::nullopt; }
    // A worker's state code (an upload, a check or a run ended): the program's own handler.
    virtual void OnFormState(int code) = 0;
    // Threads after the survey, in the program's order.
    virtual void start_program_workers() {}

    // Worker → form messages: current_channel is set to channel on the user-interface side
    // just before the handler runs, so a radio click cannot slip in between.
    void form_update(int channel) override;
    void form_state(int code, int channel) override;
    void end_turn(LinkState link_state, int code, int channel) override;
    FormMessages& messages() { return *this; }
    // A worker asks the form to show the members as they are now.
    void OnFormUpdate();
    // State codes 1, 2 and 3, alike in the three programs but for the texts; false for the
    // codes that update a channel row.
    bool show_status_code(int code, const std::string& work_ended_status);
    // The common handling of state code 0: the row of current_channel from the table.
    void show_channel_row(const std::string& dtmf_name = "Прием DTMF");
    void update_data();
    // The start handlers' first refusals: the link is busy, or no channel in the program's
    // mode has a line (the form is refreshed before that one is said).
    std::optional<std::string> start_refusal(bool any_channel, const std::string& no_channel_text);
    // The stop handlers' refusal: no work is running.
    std::optional<std::string> stop_refusal() const;
    // The link goes to the engine: its worker runs from here until the turn's end.
    void start_engine_turn(const std::string& status);
    // The run pauses until the given moment (calendar seconds of local time), for the reason
    // given, or (0) goes on: for the status file and the journal.
    void show_pause(int64_t until, const std::string& reason);
    // One event for the journal only, where there is one.
    void journal_event(const std::string& tag, const std::string& text) {
        if (journal_ != nullptr) {
            journal_->write(tag, text);
        }
    }
    // A thread that sleeps on event and runs turn each time it is set; the handler that sets
    // the event calls claim_worker() first, the turn's end releases it.
    void start_worker(core::AutoResetEvent& event, std::function<void()> turn);
    // The engine's thread: it waits on work_event once and serves one period of work, so
    // no later start can run the engine again.
    void start_engine_worker(std::function<void()> run);
    void claim_worker();

    FrontEnd* front_end_ = nullptr;

  private:
    std::optional<std::string> on_button(Button button);
    void journal_survey();
    void begin_reconnect();
    void reconnect_turn();
    bool reconnect_pause();
    bool survey_and_restart();
    void end_reconnect(const std::string& text);
    void take_status();
    void start_unattended();
    std::optional<std::string> OnUploadPermit();
    std::optional<std::string> OnCheck();
    std::optional<std::string> OnUpload(Button button);
    void start_shared_workers();
    void release_worker();
    void join_finished_engines();

    const ProgramDescriptor program_;

    ProgramState state_;
    core::Sound& sound_;
    // The channel each worker serves, taken when its button was pressed: a radio click
    // meanwhile changes the selection, not the board being served.
    std::atomic<int> upload_channel_{0};
    std::atomic<int> check_channel_{0};
    std::vector<std::thread> threads_;
    std::mutex finished_mutex_;
    std::vector<std::thread::id> finished_engines_;  // engine threads whose last step is done
    std::atomic<int> active_workers_{0};
    std::mutex idle_mutex_;
    std::condition_variable idle_changed_;
    std::atomic<Autostart> autostart_{Autostart::off};
    Journal* journal_ = nullptr;
    std::string journaled_status_;  // on the user-interface side
    std::string link_reason_;       // the link's last report
    std::string failure_reason_;    // why the link was last lost, for the status file
    std::string pause_reason_;      // why the run pauses now, for the status file
    std::string end_reason_;        // why the program ends, where something ended it
    std::function<void()> before_exit_;
    core::Duration reconnect_every_{0};
    core::AutoResetEvent reconnect_event_;
    std::atomic<bool> reconnecting_{false};
    std::atomic<bool> reconnect_cancelled_{false};
    std::atomic<int64_t> reconnect_since_{0};
    std::atomic<int64_t> paused_until_{0};
    mutable std::mutex status_mutex_;
    StatusReport status_;
};

// Ends a controller's workers before any part of it is destroyed: until they have ended they
// may still run the program's own handlers, and the base class's destructor would come after
// the program's part is gone.
struct CloseFirst {
    void operator()(Controller* controller) const {
        controller->close();
        delete controller;
    }
};
// A controller as its owner holds it: closed, then destroyed.
template <typename ProgramController>
using OwnedController = std::unique_ptr<ProgramController, CloseFirst>;

}  // namespace station
