#include "dialrun/calling_engine.h"

#include <algorithm>
#include <cstdio>

#include "campaign/result_log.h"
#include "link/commands.h"
#include "sequences/board_select.h"
#include "sequences/exchange.h"

namespace dialrun {

using namespace core;
using std::chrono::milliseconds;

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
    }
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
}

// The window has closed and no call is waiting for its verdict: every board is stopped as at
// the end of a run, nothing goes on the link until the window opens, then the boards are
// started again. The local time is looked at every minute, so a change of zone or of summer
// time moves the opening with the clock, neither shortening nor doubling the pause.
bool CallingEngine::pause_if_due() {
    const campaign::CallingWindow& w = d_.window;
    if (!w.enabled || d_.stop_requested || call_pending() ||
        campaign::hand_out_allowed(w, s_.clock.local_time())) {
        return true;
    }
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        if (d_.ring_active[k] && !pause_channel(k)) {
            return false;
        }
    }
    LocalTime until = campaign::next_opening(w, s_.clock.local_time());
    s_.log.add("Пауза до " + format_local_time(until, "%H:%M %d-%m"));
    messages_.pause_changed(calendar_seconds(until));
    while (!d_.stop_requested && !campaign::hand_out_allowed(w, s_.clock.local_time())) {
        int64_t left = calendar_seconds(until) - calendar_seconds(s_.clock.local_time());
        s_.clock.sleep_for(std::chrono::seconds(std::clamp<int64_t>(left, 1, 60)));
    }
    messages_.pause_changed(0);
    if (d_.stop_requested) {
        for (int k = 0; k < CHANNEL_COUNT; ++k) {
            d_.ring_active[k] = false;  // stopped already: the run ends
        }
        return true;
    }
    s_.log.add("Конец паузы");
    return start_pass();
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
    bool notified = reply == 1;
    const char* log_name = notified ? NOTIFIED_LOG : NOT_NOTIFIED_LOG;
    if (notified) {
        ++d_.notified_count[k];
    } else {
        ++d_.not_notified_count[k];
    }
    std::string line = result_log_line(d_.channel_number[k], s_.clock.local_time(),
                                       notified ? ' ' : mark_for_reply(reply));
    std::string error = append_result_line(s_.drive.resolve(log_name), line);
    if (!error.empty()) {
        log_error(std::string("Ошибка записи в ") + log_name + ": " + error);
    }
    error = d_.list.mark_record(d_.record_end[k], reply);
    if (!error.empty()) {
        log_error("Ошибка записи отметки в C:\\Ring.TXT: " + error);
    }
}

bool CallingEngine::give_out_record(int k) {
    // Outside the window, or in its last minutes, the channel waits for the pause.
    if (d_.window.enabled && !d_.stop_requested &&
        !campaign::hand_out_allowed(d_.window, s_.clock.local_time())) {
        return true;
    }
    RecordKind kind;
    while ((kind = d_.list.read_record()) == MARKED_RECORD) {
        const std::string& r = d_.list.record_buffer();
        messages_.record_read(record_mark(r) == 'Y' ? RECORD_DONE_NOTIFIED : RECORD_DONE_OTHERWISE);
    }
    // A fresh record read at a stop stays unmarked for a later run.
    if (kind == LIST_END || d_.stop_requested) {
        return stop_channel(k);
    }
    return hand_out(k);
}

bool CallingEngine::hand_out(int k) {
    d_.record_end[k] = d_.list.list_offset();
    messages_.record_read(RECORD_HANDED_OUT);
    const std::string record = d_.list.record_buffer();
    d_.channel_number[k] = record.substr(0, 8);
    std::string text = record.substr(0, 16);
    d_.status_line = formatted("%s    %7d", text, d_.not_notified_count[k]);
    messages_.channel_result(RESULT_NONE, k);
    log_error(text);
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
    s_.log.add("Останов прозвонки");
    // link_state goes from 1 to 10 in one step: no check or upload can start in between.
    form_.end_turn(LINK_WORK_ENDED, FORM_WORK_ENDED, 0);
}

}  // namespace dialrun
