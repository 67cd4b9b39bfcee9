#include "dialrun/dialrun_controller.h"

#include <algorithm>
#include <cstdlib>

#include "base/utf8_text.h"
#include "campaign/logged_verdicts.h"
#include "campaign/result_log.h"
#include "dialrun/calling_engine.h"
#include "dialrun/dialrun_upload.h"
#include "files/durable_file.h"
#include "files/regular_file.h"
#include "form/form_messages.h"

namespace dialrun {

using namespace core;
using namespace station;

namespace {

const char* const LIST_PATH = "c:\\Ring.TXT";

const ProgramDescriptor& dialrun_program() {
    static const ProgramDescriptor program{DIALRUN_INFO,
                                           " Ожидание старта или записи фонем в канал ",
                                           "Фонем",
                                           {},
                                           {Duration{0}, "===Котроль Фонем завершен==="},
                                           true,
                                           {{Button::upload, &dialrun_upload()}},
                                           {{"Adres K"}, {}}};
    return program;
}

}  // namespace

DialrunController::DialrunController(Link& link, Clock& clock, DriveC drive, Sound& sound)
    : Controller(dialrun_program(), link, clock, std::move(drive), sound) {}

// "Старт Прозвонки".
std::optional<std::string> DialrunController::OnStart() {
    ProgramState& s = state();
    if (auto refusal = start_refusal(s.table.any_serves(MODE_RING), "Нет канала прозвонки !")) {
        return refusal;
    }
    d_.shared.reset();
    if (!shared_.connection.empty()) {
        return start_shared();
    }
    std::string error;
    if (!d_.list.open(s.drive.resolve(LIST_PATH), error)) {
        // The box keeps its old text; the log says why (missing, locked, read-only).
        s.log.add("Ошибка открытия C:\\Ring.TXT: " + error);
        update_data();
        return "Нет файла RING.TXT !";
    }
    // A malformed record would let a mark land on the wrong byte: refuse before any call.
    std::string fault = d_.list.validate();
    if (!fault.empty()) {
        d_.list.close();
        update_data();
        return fault;
    }
    campaign::CallingWindow window = window_;
    window.stop_hour = static_cast<int>(form_.stop_setting);
    std::string empty = campaign::empty_window_reason(window);
    if (!empty.empty()) {
        d_.list.close();
        update_data();
        return empty;
    }
    std::filesystem::path list = s.drive.resolve(LIST_PATH);
    d_.list_mode = file_mode(list);
    std::string list_bytes = d_.list.whole_list();
    std::string unread = d_.rounds.begin_run(retry_, list, d_.list_mode, list_bytes);
    if (!unread.empty()) {
        // Without its attempts a record could be called more often than the rules allow.
        d_.list.close();
        s.log.add("Ошибка чтения C:\\Ring.TXT.attempts: " + unread);
        update_data();
        return "Нет файла попыток RING.TXT.attempts !";
    }
    if (d_.rounds.unmatched() > 0) {
        s.log.add(campaign::unmatched_text(d_.rounds.unmatched()));
    }
    if (d_.rounds.enabled()) {
        mark_logged_verdicts(list_bytes);
    }
    begin_run(window, static_cast<unsigned>(d_.list.list_length() / campaign::RECORD_SIZE));
    return std::nullopt;
}

// "Старт" on a campaign that racks share in the database: Ring.TXT is not read; the records
// come one by one from the database, whose refusal refuses the start.
std::optional<std::string> DialrunController::start_shared() {
    ProgramState& s = state();
    campaign::CallingWindow window = window_;
    window.stop_hour = static_cast<int>(form_.stop_setting);
    std::string empty = campaign::empty_window_reason(window);
    if (!empty.empty()) {
        update_data();
        return empty;
    }
    std::filesystem::path list = s.drive.resolve(LIST_PATH);
    // The logs and the outbox hold numbers: the list's mode where it is, else the owner's only.
    unsigned mode = file_mode(list);
    d_.list_mode = mode != 0 ? mode : 0600;
    d_.list.close();
    d_.rounds.begin_run(campaign::RetryRules{}, list, d_.list_mode, "");
    SharedSettings settings = shared_;
    if (reconnect_every() > Duration{0}) {
        settings.reconnect = std::chrono::duration_cast<std::chrono::seconds>(reconnect_every());
    }
    auto shared = std::make_unique<SharedCalling>(settings, s.drive.resolve("c:\\Ring.TXT.outbox"),
                                                  d_.list_mode);
    std::string error = shared->start();
    if (!error.empty()) {
        s.log.add(error);
        update_data();
        return error;
    }
    d_.shared = std::move(shared);
    s.log.add("Кампания \"" + shared_.campaign + "\", стойка \"" + shared_.rack + "\", база " +
              d_.shared->server());
    begin_run(window, 0);
    return std::nullopt;
}

// What both kinds of run share at "Старт".
void DialrunController::begin_run(const campaign::CallingWindow& window, unsigned records) {
    d_.next_retry = 0;
    d_.window = window;
    // The spins as the run takes them: the window's counters are the operator's to turn.
    journal_event("settings", "Ожид. = " + std::to_string(form_.wait_setting) +
                                  ", Стоп = " + std::to_string(form_.stop_setting));
    form_.progress = 0;
    clear_lists();
    d_.stop_requested = false;
    form_.record_total = records;
    d_.wait_value = static_cast<int>(form_.wait_setting);
    d_.stop_hour = static_cast<int>(form_.stop_setting);
    start_engine_turn("Работает прозвонка абонентов !");
    form_.start_stamp = now_stamp();
    update_data();
}

// A verdict logged whose mark a kill kept from the list is marked now, before anything is
// handed out, so that its record is never called after it. Only the attempts tell which call
// a log line belongs to: without them nothing is marked here.
void DialrunController::mark_logged_verdicts(const std::string& list_bytes) {
    ProgramState& s = state();
    const char* const names[] = {campaign::NOTIFIED_LOG, campaign::NOT_NOTIFIED_LOG};
    std::string logs[2];
    for (int i = 0; i < 2; ++i) {
        std::filesystem::path path = s.drive.resolve(names[i]);
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            continue;
        }
        std::string error;
        logs[i] = read_file_bytes(path, error);
        if (!error.empty()) {
            s.log.add(std::string("Ошибка чтения ") + names[i] + ": " + error);
        }
    }
    for (const campaign::LoggedVerdict& v :
         campaign::unmarked_verdicts(list_bytes, d_.rounds.attempts(), logs[0], logs[1],
                                     s.clock.local_time(), s.clock.utc_seconds())) {
        uint8_t reply = v.mark == 'Y' ? 1 : v.mark == 'Z' ? 2 : 0;
        std::string error = d_.list.mark_record(v.end, reply);
        if (!error.empty()) {
            s.log.add("Ошибка записи отметки в C:\\Ring.TXT: " + error);
            continue;
        }
        s.log.add("Отметка " + std::string(1, v.mark) + " записи " + v.number + " из " +
                  names[v.mark == 'Y' ? 0 : 1]);
    }
}

// A run reads the list from its start: a run started again after the link came back shows
// each record once, as the first did.
void DialrunController::clear_lists() {
    form_.record_list.clear();
    form_.notified_list.clear();
    form_.not_notified_list.clear();
    form_.list_total = 0;
    form_.notified_total = 0;
    form_.not_notified_total = 0;
}

// "Стоп Прозвонки": calls in progress finish; each channel stops at its next free poll.
std::optional<std::string> DialrunController::OnStop() {
    if (auto refusal = stop_refusal()) {
        return refusal;
    }
    form_.status_text = "Ожидание завершения прозвонки ";
    d_.stop_requested = true;
    state().clock.wake_sleepers();  // a pause ends at once
    form_.stop_stamp = now_stamp();
    update_data();
    return std::nullopt;
}

std::string DialrunController::now_stamp() const {
    return format_local_time(state().clock.local_time(), " %d-%m  %H:%M");
}

void DialrunController::start_program_workers() {
    start_engine_worker([this] {
        CallingEngine engine(state(), d_, messages(), *this);
        engine.run();
    });
}

void DialrunController::OnFormState(int code) {
    if (show_status_code(code, " Завершение прозвонки абонентов ! ")) {
        if (code == FORM_WORK_ENDED) {
            form_.progress = 100;
        }
    } else {
        show_channel_row();
    }
    update_data();
}

void DialrunController::channel_result(int code, int channel) {
    front_end_->run_on_ui([&] {
        state().table.current_channel = channel;
        OnChannelResult(code);
    });
}

void DialrunController::pause_changed(int64_t until, const std::string& reason) {
    front_end_->run_on_ui([&] {
        show_pause(until, reason);
        form_.status_text =
            until != 0 ? "Пауза до " + format_local_time(local_time_from_calendar_seconds(until),
                                                         "%H:%M %d-%m")
            : d_.stop_requested ? "Ожидание завершения прозвонки "
                                : "Работает прозвонка абонентов !";
        update_data();
    });
}

void DialrunController::record_read(int code) {
    front_end_->run_on_ui([&] { OnRecordRead(code); });
}

void DialrunController::OnChannelResult(int code) {
    int k = state().table.current_channel;
    if (code != RESULT_NONE) {
        std::string number = d_.channel_number[k];
        if (d_.channel_retried[k]) {
            forget_verdict(number);
        }
        if (code == RESULT_NOTIFIED) {
            form_.notified_list.add(number);
            ++form_.notified_total;
        } else {
            form_.not_notified_list.add(number);
            ++form_.not_notified_total;
        }
    } else {
        form_.progress = progress_value();
    }
    form_.mode_text[k] = d_.status_line.substr(0, 40);
    form_.notified_list.select_last();
    form_.not_notified_list.select_last();
    update_data();
}

// A round's verdict replaces the record's earlier one: each record is counted once per run.
void DialrunController::forget_verdict(const std::string& number) {
    if (form_.notified_list.remove(number)) {
        --form_.notified_total;
    }
    if (form_.not_notified_list.remove(number)) {
        --form_.not_notified_total;
    }
}

void DialrunController::OnRecordRead(int code) {
    const std::string& record = d_.shared ? d_.record_shown : d_.list.record_buffer();
    std::string number = record.substr(0, 8);
    ++form_.list_total;
    if (code == RECORD_DONE_NOTIFIED) {
        form_.notified_list.add_unselected(number);
        ++form_.notified_total;
    } else if (code == RECORD_DONE_OTHERWISE) {
        form_.not_notified_list.add_unselected(number);
        ++form_.not_notified_total;
    }
    form_.record_list.add(number + " " + campaign::record_mark(record));
    form_.progress = progress_value();
    update_data();
}

// Records read so far out of record_total, in whole per cent; 0 for a list shorter than a
// record, where the original divided by zero.
int DialrunController::progress_value() const {
    if (form_.record_total == 0) {
        return 0;
    }
    long read = d_.list.list_offset() / campaign::RECORD_SIZE;
    return static_cast<int>(read * 100 / form_.record_total);
}

std::vector<std::pair<std::string, const TextList*>> DialrunController::form_lists() const {
    return {{RECORD_LIST_CAPTION, &form_.record_list},
            {NOTIFIED_LIST_CAPTION, &form_.notified_list},
            {NOT_NOTIFIED_LIST_CAPTION, &form_.not_notified_list}};
}

std::vector<std::pair<std::string, std::string>> DialrunController::show() const {
    auto members = Controller::show();
    auto add = [&](const char* name, const std::string& value) {
        members.push_back({name, value});
    };
    add("record_list_count", std::to_string(form_.record_list.size()));
    add("notified_list_count", std::to_string(form_.notified_list.size()));
    add("not_notified_list_count", std::to_string(form_.not_notified_list.size()));
    add("list_total", std::to_string(form_.list_total));
    add("notified_total", std::to_string(form_.notified_total));
    add("not_notified_total", std::to_string(form_.not_notified_total));
    add("wait_setting", std::to_string(form_.wait_setting));
    add("stop_setting", std::to_string(form_.stop_setting));
    add("record_total", std::to_string(form_.record_total));
    add("start_stamp", form_.start_stamp);
    add("stop_stamp", form_.stop_stamp);
    add("progress", std::to_string(form_.progress));
    return members;
}

// Records, not calls; "left" are those without a verdict in this run.
std::vector<std::pair<std::string, std::string>> DialrunController::status_counts() const {
    unsigned done = form_.notified_total + form_.not_notified_total;
    unsigned left = form_.record_total > done ? form_.record_total - done : 0;
    return {{"records", std::to_string(form_.record_total)},
            {"read", std::to_string(form_.list_total)},
            {"notified", std::to_string(form_.notified_total)},
            {"not_notified", std::to_string(form_.not_notified_total)},
            {"left", std::to_string(left)},
            {"next_retry", iso_local_time(d_.next_retry)}};
}

std::string DialrunController::take_settings(const std::map<std::string, std::string>& values) {
    auto value = [&](const char* key) {
        auto at = values.find(key);
        return at == values.end() ? std::string() : at->second;
    };
    if (!value("stop-hour").empty()) {
        form_.stop_setting = static_cast<unsigned>(std::stoi(value("stop-hour")));
    }
    if (!value("wait").empty()) {
        form_.wait_setting = static_cast<unsigned>(std::stoi(value("wait")));
    }
    if (!value("retry").empty()) {
        retry_.retry = std::stoi(value("retry"));
    }
    if (!value("retry-gap").empty()) {
        retry_.gap_minutes = std::stoi(value("retry-gap"));
    }
    if (!value("retry-marks").empty()) {
        retry_.marks = value("retry-marks");
    }
    window_.start_hour = value("call-start").empty() ? 0 : std::stoi(value("call-start"));
    window_.enabled = window_.start_hour > 0;
    if (!value("call-days").empty()) {
        std::string wrong = campaign::parse_call_days(value("call-days"), window_.days);
        if (!wrong.empty()) {
            return wrong;
        }
    }
    std::string holidays = value("holidays");
    if (!holidays.empty()) {
        std::string error;
        std::string text = read_regular_file(utf8_path(holidays), error, LARGEST_SETTINGS);
        if (!error.empty()) {
            return "holidays: файл " + holidays + " не прочитан: " + error;
        }
        std::string wrong = campaign::parse_holidays(text, holidays, window_);
        if (!wrong.empty()) {
            return wrong;
        }
    }
    // Refused now rather than at "Старт": a service manager would start the program again
    // and again. "Старт" looks again, since the "Стоп" spin may have been turned since.
    std::string unused = campaign::unused_window_setting(window_, !holidays.empty());
    if (!unused.empty()) {
        return unused;
    }
    campaign::CallingWindow window = window_;
    window.stop_hour = static_cast<int>(form_.stop_setting);
    std::string empty = campaign::empty_window_reason(window);
    return empty.empty() ? take_shared_settings(values) : empty;
}

std::string DialrunController::take_shared_settings(
    const std::map<std::string, std::string>& values) {
    auto value = [&](const char* key) {
        auto at = values.find(key);
        return at == values.end() ? std::string() : at->second;
    };
    shared_.connection = value("campaign-db");
    shared_.campaign = value("campaign");
    shared_.rack = value("rack-name");
    if (!value("claim-lease").empty()) {
        shared_.lease_seconds = std::stoi(value("claim-lease"));
    }
    if (shared_.connection.empty() != shared_.campaign.empty()) {
        return shared_.connection.empty() ? "campaign без campaign-db не действует: нужна база "
                                            "кампании (--campaign-db)"
                                          : "campaign-db без campaign: нужно имя кампании "
                                            "(--campaign)";
    }
    return {};
}

bool DialrunController::program_command(const std::string& word, const std::string& argument) {
    if (word != "set-wait" && word != "set-stop") {
        return false;
    }
    char* end = nullptr;
    long value = std::strtol(argument.c_str(), &end, 10);
    if (argument.empty() || *end != 0) {
        return false;
    }
    // The spins stop at the ends of their ranges.
    if (word == "set-wait") {
        form_.wait_setting = static_cast<unsigned>(std::clamp(value, 1L, 59L));
    } else {
        form_.stop_setting = static_cast<unsigned>(std::clamp(value, 1L, 23L));
    }
    update_data();
    return true;
}

}  // namespace dialrun
