#include "dialrun/calling_engine.h"

#include <algorithm>
#include <cstdio>

#include "campaign/result_log.h"
#include "link/commands.h"
#include "sequences/board_select.h"
#include "sequences/exchange.h"

namespace dialrun {

using namespace core;
using namespace station;
using std::chrono::milliseconds;

constexpr int64_t SHORT_RETRY_WAIT = 120;  // seconds

namespace {

std::string formatted(const char* format, const std::string& text, unsigned a) {
    char line[64];
    std::snprintf(line, sizeof line, format, text.c_str(), a);
    return line;
}

std::string formatted(const char* format, const std::string& text, unsigned a, unsigned b) {
    char line[64];
    std::snprintf(line, sizeof line, format, text.c_str(), a, b);
    return line;
}

}  // namespace

std::array<uint8_t, 8> number_payload(const std::string& r) {
    return {static_cast<uint8_t>(r[9]),
            bcd(r[10], r[11]),
            bcd(r[12], r[13]),
            bcd(r[14], r[15]),
            static_cast<uint8_t>(NUMBER_FIRST_DIGIT | (r[0] & 0x0F)),
            bcd(r[1], r[2]),
            bcd(r[3], r[4]),
            bcd(r[5], r[6])};
}

void CallingEngine::run() {
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        d_.ring_pending[k] = false;
        d_.notified_count[k] = 0;
        d_.not_notified_count[k] = 0;
        d_.ring_active[k] = s_.table.serves(k, MODE_RING);
        d_.channel_retried[k] = false;
    }
    d_.records_read = 0;
    d_.list_read = false;
    run_passes();
}

bool CallingEngine::start_channel(int k) {
    form_.form_update(k);
    s_.log.add("Start K" + channel_number(k));
    if (!select_board(s_, k, static_cast<uint8_t>(CMD_SELECT | k), milliseconds(4), milliseconds(4),
                      "Тайм-Аут0", "Ошибка Адреса")) {
        return false;
    }
    return exchange(s_, CMD_SET_WAIT, milliseconds(2), "Тайм-Аут00") &&
           exchange(s_, static_cast<uint8_t>(d_.wait_value), milliseconds(2), "Тайм-Аут00") &&
           exchange(s_, CMD_START, milliseconds(2), "Тайм-Аут00") &&
           exchange(s_, CMD_END, milliseconds(2), "Тайм-Аут000");
}

void CallingEngine::before_pass() {
    // With a calling window the stop hour closes it and the run pauses instead.
    if (!d_.window.enabled && s_.clock.local_time().hour >= d_.stop_hour) {
        d_.stop_requested = true;
    }
    if (d_.shared) {
        // Leases run on while their calls do, so that no other rack takes a record in a call.
        std::array<bool, CHANNEL_COUNT> under_way{};
        for (int k = 0; k < CHANNEL_COUNT; ++k) {
            under_way[k] = d_.ring_active[k] && d_.ring_pending[k];
        }
        d_.shared->renew(under_way);
        log_shared_notes();
    }
}

// The window has closed, or every record left waits for its retry gap, and no call is waiting
// for its verdict: every board is stopped as at the end of a run, nothing goes on the link
// until calling may go on, then the boards are started again. The clock is looked at every
// minute (a stop is not kept waiting), so a change of zone or of summer time moves the opening with
// the clock, neither shortening nor doubling the pause.
bool CallingEngine::pause_if_due() {
    if (d_.stop_requested || call_pending() || may_hand_out()) {
        return true;
    }
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        if (d_.ring_active[k] && !pause_channel(k)) {
            return false;
        }
    }
    LocalTime until = pause_end();
    std::string reason = pause_reason();
    s_.log.add(waits_for_campaign() ? "Пауза: " + reason
                                    : "Пауза до " + format_local_time(until, "%H:%M %d-%m"));
    messages_.pause_changed(calendar_seconds(until), reason);
    while (!d_.stop_requested && !may_hand_out()) {
        s_.service.alive();
        if (waits_for_campaign()) {
            wait_for_campaign();
            continue;
        }
        int64_t left = calendar_seconds(pause_end()) - calendar_seconds(s_.clock.local_time());
        // "Стоп" wakes it at once.
        s_.clock.sleep_for_woken(std::chrono::seconds(std::clamp<int64_t>(left, 1, 60)),
                                 d_.stop_requested);
    }
    messages_.pause_changed(0, "");
    if (d_.stop_requested) {
        for (int k = 0; k < CHANNEL_COUNT; ++k) {
            d_.ring_active[k] = false;  // stopped already: the run ends
        }
        return true;
    }
    s_.log.add("Конец паузы");
    return start_pass();
}

// Whether a free channel could be given a record now: the window is open, and in the retry
// rounds some record is due (or none is left, and the run ends).
bool CallingEngine::may_hand_out() const {
    if (d_.window.enabled && !campaign::hand_out_allowed(d_.window, s_.clock.local_time())) {
        return false;
    }
    if (d_.shared) {
        return d_.shared->may_take();
    }
    auto due = retry_wait();
    return !due || *due <= s_.clock.utc_seconds();
}

// In the retry rounds, when the earliest record that waits for its gap is due; none outside
// the rounds, or when a record is due now or none is left. A wait of a few minutes is polled
// through: the records of one round fall due seconds apart, and stopping and starting every
// board for each would only wear the link.
std::optional<int64_t> CallingEngine::retry_wait() const {
    if (!d_.rounds.rounds_begun() || d_.rounds.finished()) {
        return std::nullopt;
    }
    auto due = d_.rounds.earliest_due();
    if (due && *due - s_.clock.utc_seconds() < SHORT_RETRY_WAIT) {
        return std::nullopt;
    }
    return due;
}

// Why no record can be handed out now, for the status file: the window is shut, or the
// records left wait for their retry gap.
std::string CallingEngine::pause_reason() const {
    if (d_.window.enabled && !campaign::hand_out_allowed(d_.window, s_.clock.local_time())) {
        return "Вне окна прозвонки";
    }
    if (d_.shared) {
        return d_.shared->wait_reason();
    }
    return "Ожидание срока повторных звонков";
}

// The local time at which calling may go on: the record's gap passed, inside the window.
LocalTime CallingEngine::pause_end() const {
    LocalTime now = s_.clock.local_time();
    LocalTime from = now;
    if (auto due = retry_wait(); due && *due > s_.clock.utc_seconds()) {
        from =
            local_time_from_calendar_seconds(calendar_seconds(now) + *due - s_.clock.utc_seconds());
    }
    return d_.window.enabled ? campaign::next_opening(d_.window, from) : from;
}

bool CallingEngine::pause_channel(int k) {
    form_.form_update(k);
    return select_board(s_, k, static_cast<uint8_t>(CMD_SELECT | k), milliseconds(4),
                        milliseconds(4), "Тайм-Аут0", "Ошибка Адреса") &&
           exchange(s_, CMD_STOP_MODE, milliseconds(3), "Тайм-Аут3") &&
           exchange(s_, CMD_END, milliseconds(3), "Тайм-Аут4");
}

bool CallingEngine::call_pending() const {
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        if (d_.ring_active[k] && d_.ring_pending[k]) {
            return true;
        }
    }
    return false;
}

bool CallingEngine::poll_channel(int k) {
    form_.form_update(k);
    s_.log.add("Adres K" + channel_number(k));
    switch (select_and_check_echo(s_, k, static_cast<uint8_t>(CMD_SELECT | k),
                                  {milliseconds(10), milliseconds(4)})) {
        case Echo::silent:
            log_error("Тайм-Аут1");
            return false;
        case Echo::wrong_address:
            report_wrong_echo();
            return false;
        case Echo::own_address:
            break;
    }
    if (s_.link.OGD() & REPLY_BUSY) {
        return true;  // still calling: next pass
    }
    return d_.ring_pending[k] ? fetch_result(k) : give_out_record(k);
}

// A wrong echo: log it and up to two stray bytes that may follow it, for the maintainer.
void CallingEngine::report_wrong_echo() {
    log_error("OGD=" + std::to_string(s_.link.OGD()));
    log_error("Ошибка Адреса");
    if (!s_.link.read_reply()) {
        log_error("ТA Err1");
        return;
    }
    log_error("OGD1=" + std::to_string(s_.link.OGD()));
    if (!s_.link.read_reply()) {
        log_error("ТA Err2");
        return;
    }
    log_error("OGD2=" + std::to_string(s_.link.OGD()));
}

bool CallingEngine::fetch_result(int k) {
    d_.ring_pending[k] = false;
    if (!exchange(s_, CMD_RESULT, milliseconds(3), "Тайм-Аут2")) {
        return false;
    }
    uint8_t reply = s_.link.OGD();
    write_result(k, reply);
    d_.status_line = formatted("%s    %7d     %7d", d_.channel_number[k].substr(0, 7),
                               d_.notified_count[k], d_.not_notified_count[k]);
    messages_.channel_result(reply == 1 ? RESULT_NOTIFIED : RESULT_NOT_NOTIFIED, k);
    return exchange(s_, CMD_END, milliseconds(3), "Тайм-Аут22");
}

// The verdict on disk: the log line first, then the mark, each flushed before the next. A
// log that cannot be written is reported and the mark is written all the same.
void CallingEngine::write_result(int k, uint8_t reply) {
    if (d_.shared) {
        write_shared_result(k, reply);
        return;
    }
    bool notified = reply == 1;
    const char* log_name = notified ? campaign::NOTIFIED_LOG : campaign::NOT_NOTIFIED_LOG;
    if (notified) {
        ++d_.notified_count[k];
    } else {
        ++d_.not_notified_count[k];
    }
    std::string line = campaign::result_log_line(d_.channel_number[k], s_.clock.local_time(),
                                                 notified ? ' ' : campaign::mark_for_reply(reply));
    std::string error =
        campaign::append_result_line(s_.drive.resolve(log_name), line, d_.list_mode);
    if (!error.empty()) {
        log_error(std::string("Ошибка записи в ") + log_name + ": " + error);
    }
    error = d_.list.mark_record(d_.record_end[k], reply);
    if (!error.empty()) {
        log_error("Ошибка записи отметки в C:\\Ring.TXT: " + error);
        d_.unwritten_marks.emplace_back(d_.record_end[k], reply);
    }
    if (d_.channel_retried[k]) {
        d_.rounds.verdict(d_.channel_position[k], campaign::mark_for_reply(reply));
        publish_next_retry();
    }
}

// A record whose verdict is logged but not marked would be called again by the next run:
// nothing more is handed out until its mark is written.
bool CallingEngine::write_unwritten_marks() {
    while (!d_.unwritten_marks.empty()) {
        auto [record_end, reply] = d_.unwritten_marks.front();
        std::string error = d_.list.mark_record(record_end, reply);
        if (!error.empty()) {
            log_error("Ошибка записи отметки в C:\\Ring.TXT: " + error);
            return false;
        }
        d_.unwritten_marks.erase(d_.unwritten_marks.begin());
    }
    return true;
}

bool CallingEngine::give_out_record(int k) {
    if (!write_unwritten_marks()) {
        return stop_channel(k);
    }
    // Outside the window, or in its last minutes, the channel waits for the pause.
    if (d_.window.enabled && !d_.stop_requested &&
        !campaign::hand_out_allowed(d_.window, s_.clock.local_time())) {
        return true;
    }
    if (d_.shared) {
        return give_out_shared(k);
    }
    if (!d_.list_read) {
        campaign::RecordKind kind = read_to_fresh_record();
        // A fresh record read at a stop stays unmarked for a later run.
        if (kind == campaign::FRESH_RECORD && !d_.stop_requested) {
            messages_.record_read(RECORD_HANDED_OUT);
            d_.channel_retried[k] = false;
            return hand_out(k, d_.list.record_buffer(), d_.list.list_offset(), d_.records_read);
        }
        d_.list_read = kind == campaign::LIST_END;
        if (d_.stop_requested || !d_.rounds.enabled()) {
            return stop_channel(k);
        }
    }
    return give_out_retry(k);
}

// Reads on to the next fresh record, passing over the marked ones and, with retry, those
// whose attempts are used up although their verdict never came.
campaign::RecordKind CallingEngine::read_to_fresh_record() {
    campaign::RecordKind kind;
    while ((kind = d_.list.read_record()) != campaign::LIST_END) {
        ++d_.records_read;
        const std::string& r = d_.list.record_buffer();
        if (kind == campaign::MARKED_RECORD) {
            messages_.record_read(campaign::record_mark(r) == 'Y' ? RECORD_DONE_NOTIFIED
                                                                  : RECORD_DONE_OTHERWISE);
        } else if (d_.rounds.enabled() &&
                   !d_.rounds.attempts_left(d_.records_read, r.substr(0, 7))) {
            messages_.record_read(RECORD_USED_UP);
        } else {
            break;
        }
    }
    return kind;
}

// After the list's end: once every record has its mark, the rounds give out the records the
// rules still retry; the run ends when none is left.
bool CallingEngine::give_out_retry(int k) {
    if (d_.stop_requested) {
        return stop_channel(k);
    }
    if (!d_.rounds.rounds_begun()) {
        if (call_pending()) {
            return true;  // a verdict may still make its record one to retry
        }
        d_.rounds.begin_rounds(d_.list.whole_list());
        publish_next_retry();
    }
    if (const campaign::RoundRecord* r = d_.rounds.next_due(s_.clock.utc_seconds())) {
        d_.channel_retried[k] = true;
        publish_next_retry();
        return hand_out(k, r->record, r->end, r->position);
    }
    if (d_.rounds.finished() && !call_pending()) {
        return stop_channel(k);
    }
    return true;  // a verdict, or a record's gap, is waited for
}

void CallingEngine::publish_next_retry() {
    auto due = d_.rounds.finished() ? std::nullopt : d_.rounds.earliest_due();
    d_.next_retry =
        due ? calendar_seconds(s_.clock.local_time()) + *due - s_.clock.utc_seconds() : 0;
}

bool CallingEngine::hand_out(int k, const std::string& record, long record_end, int position) {
    d_.record_end[k] = record_end;
    d_.channel_position[k] = position;
    d_.channel_number[k] = record.substr(0, 8);
    std::string text = record.substr(0, 16);
    d_.status_line = formatted("%s    %7d", text, d_.not_notified_count[k]);
    messages_.channel_result(RESULT_NONE, k);
    log_error(text);
    // Counted before the number goes out: a link lost after it may still have rung.
    if (d_.rounds.enabled()) {
        std::string error = d_.rounds.count_call(position, record, s_.clock.utc_seconds());
        if (!error.empty()) {
            log_error("Ошибка записи в C:\\Ring.TXT.attempts: " + error);
            return stop_channel(k);
        }
    }
    d_.ring_pending[k] = true;
    if (!exchange(s_, CMD_NUMBER, milliseconds(3), "Тайм-Аут5")) {
        return false;
    }
    std::array<uint8_t, 8> payload = number_payload(record);
    for (int n = 1; n <= 8; ++n) {
        std::string timeout = "Тайм-Аут" + std::to_string(n + 5);
        if (!exchange(s_, payload[n - 1], milliseconds(3), timeout.c_str())) {
            return false;
        }
    }
    return true;
}

// A record from the campaign the racks share. None now: the channel waits, and with no call
// under way the run pauses; none ever again (and no verdict of ours to come): the run ends.
bool CallingEngine::give_out_shared(int k) {
    if (d_.stop_requested) {
        return stop_channel(k);
    }
    std::string error;
    campaign::HandOut got = d_.shared->next(k, error);
    log_shared_notes();
    if (got == campaign::HandOut::record) {
        const campaign::SharedRecord& r = d_.shared->record(k);
        d_.record_shown = r.line;
        messages_.record_read(RECORD_HANDED_OUT);
        d_.channel_retried[k] = r.attempt > 1;
        return hand_out(k, r.line, 0, r.position);
    }
    if (got == campaign::HandOut::over && !call_pending()) {
        return stop_channel(k);
    }
    return true;
}

// The verdict of a shared record: the outbox first, so that nothing is lost whatever fails
// after it; then the log line, as in a run on Ring.TXT; then the database.
void CallingEngine::write_shared_result(int k, uint8_t reply) {
    bool notified = reply == 1;
    if (notified) {
        ++d_.notified_count[k];
    } else {
        ++d_.not_notified_count[k];
    }
    LocalTime now = s_.clock.local_time();
    std::string error =
        d_.shared->keep(k, campaign::mark_for_reply(reply), now, s_.clock.utc_seconds());
    if (!error.empty()) {
        log_error(error);
    }
    const char* log_name = notified ? campaign::NOTIFIED_LOG : campaign::NOT_NOTIFIED_LOG;
    std::string line = campaign::result_log_line(d_.channel_number[k], now,
                                                 notified ? ' ' : campaign::mark_for_reply(reply));
    error = campaign::append_result_line(s_.drive.resolve(log_name), line, d_.list_mode);
    if (!error.empty()) {
        log_error(std::string("Ошибка записи в ") + log_name + ": " + error);
    }
    error = d_.shared->deliver();
    if (!error.empty()) {
        log_error(error);
    }
    log_shared_notes();
}

// Waiting on the database: once a real second (or each reconnect period while it cannot be
// reached), the rack's own clock standing still; the reason is told again when it changes.
void CallingEngine::wait_for_campaign() {
    std::string reason = d_.shared->wait_reason();
    std::string error;
    d_.shared->wait_and_look(d_.stop_requested, error);
    log_shared_notes();
    if (!d_.stop_requested && !may_hand_out() && d_.shared->wait_reason() != reason) {
        reason = d_.shared->wait_reason();
        s_.log.add("Пауза: " + reason);
        messages_.pause_changed(calendar_seconds(s_.clock.local_time()), reason);
    }
}

bool CallingEngine::waits_for_campaign() const {
    return d_.shared &&
           (!d_.window.enabled || campaign::hand_out_allowed(d_.window, s_.clock.local_time()));
}

void CallingEngine::log_shared_notes() {
    for (const std::string& note : d_.shared->take_notes()) {
        log_error(note);
    }
}

bool CallingEngine::stop_channel(int k) {
    d_.ring_active[k] = false;
    d_.ring_pending[k] = false;
    d_.stop_requested = true;  // one channel at the end of the list stops them all
    // The number's seven columns are replaced, even for a channel that never got a number,
    // so the counts stay in their columns.
    d_.status_line =
        formatted("%s    %7d     %7d", "Stop ! ", d_.notified_count[k], d_.not_notified_count[k]);
    messages_.channel_result(RESULT_NONE, k);
    return exchange(s_, CMD_STOP_MODE, milliseconds(3), "Тайм-Аут3") &&
           exchange(s_, CMD_END, milliseconds(3), "Тайм-Аут4");
}

void CallingEngine::end_run() {
    if (d_.shared) {
        std::string error = d_.shared->finish();
        if (!error.empty()) {
            log_error(error);
        }
        log_shared_notes();
    }
    s_.log.add("Останов прозвонки");
    // link_state goes from 1 to 10 in one step: no check or upload can start in between.
    form_.end_turn(LINK_WORK_ENDED, FORM_WORK_ENDED, 0);
}

}  // namespace dialrun
