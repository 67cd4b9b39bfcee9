#include "link/link.h"

namespace core {

Link::Link(Transport& port, Clock& clock, WireTrace* trace)
    : port_(port), clock_(clock), trace_(trace) {}

void Link::set_report(Report report) {
    std::lock_guard lock(report_mutex_);
    report_ = std::move(report);
}

void Link::send_byte(uint8_t value) {
    pause_from_ = clock_.now();
    if (trace_ != nullptr) {
        trace_->sent(value);
    }
    std::string error = port_.write_byte(value);
    if (!error.empty()) {
        note_device_lost(error);
    }
}

void Link::send_select(uint8_t select_byte) {
    for (uint8_t stale : port_.discard_input()) {
        if (trace_ != nullptr) {
            trace_->discarded(stale);
        }
    }
    send_byte(select_byte);
}

void Link::pause(Duration d) {
    const Duration until = pause_from_.load() + d;
    const Duration now = clock_.now();
    if (until <= now) {
        pause_from_ = now;  // the work took longer: the line has been quiet long enough
        return;
    }
    clock_.sleep_until(until);
    pause_from_ = until;
}

bool Link::read_reply() {
    return read_within(reply_limit_);
}

int Link::read_reply_byte() {
    return read_within(reply_byte_limit_) ? ogd_.load() : -1;
}

bool Link::read_within(Duration limit) {
    const Duration deadline = clock_.now() + limit;
    ReadResult r = port_.read_byte(deadline);
    pause_from_ = clock_.now();
    if (r.kind == ReadResult::Kind::byte) {
        ogd_ = r.value;
        if (trace_ != nullptr) {
            trace_->received(r.value);
        }
        return true;
    }
    if (r.kind == ReadResult::Kind::device_lost && !note_device_lost(r.reason)) {
        // The first failure ends the exchange at once; a device already known to be gone
        // answers at once for ever, so from then on the deadline is waited out and no caller
        // (the check's repeated wait among them) can spin on it.
        clock_.sleep_until(deadline);
        pause_from_ = clock_.now();
    }
    return false;
}

std::string Link::reopen() {
    std::string reason = port_.reopen();
    if (reason.empty()) {
        device_lost_ = false;
        pause_from_ = clock_.now();
    }
    return reason;
}

bool Link::note_device_lost(const std::string& reason) {
    if (device_lost_.exchange(true)) {
        return false;
    }
    std::lock_guard lock(report_mutex_);
    if (report_) {
        report_(port_lost_text(port_.name(), reason));
    }
    return true;
}

std::string port_not_opened_text(const std::string& port, const std::string& reason) {
    return "Порт " + port + " не открыт: " + reason;
}

std::string port_lost_text(const std::string& port, const std::string& reason) {
    return "Обрыв связи с портом " + port + ": " + reason;
}

}  // namespace core
