#include "dialrun/shared_calling.h"

#include <thread>

namespace dialrun {

using campaign::HandOut;
using std::chrono::steady_clock;

namespace {

// The outbox is emptied once this many verdicts have gone through it, so that a restart
// sends few again.
constexpr int OUTBOX_KEPT = 100;

}  // namespace

std::string SharedCalling::start() {
    // A link or a folder in the outbox's place is not written through.
    std::error_code ec;
    auto type = std::filesystem::symlink_status(outbox_.path(), ec).type();
    if (type != std::filesystem::file_type::not_found &&
        type != std::filesystem::file_type::regular) {
        return outbox_.path().filename().string() + ": не обычный файл (ссылка, папка или " +
               "устройство) - результаты звонков туда не пишутся";
    }
    std::string error = campaign_.open(settings_.connection, settings_.campaign, settings_.rack,
                                       settings_.lease_seconds);
    if (error.empty()) {
        error = send_outbox();
    }
    if (error.empty()) {
        error = campaign_.free_holds();
    }
    last_ = error.empty() ? HandOut::record : HandOut::lost;
    asked_ = steady_clock::now();
    return error;
}

std::string SharedCalling::outbox_error(const std::string& reason) const {
    return "Ошибка записи в " + outbox_.path().filename().string() + ": " + reason;
}

// Each verdict the outbox holds, in order; a verdict the database has already counts once.
// The outbox is then emptied, and made if it was not there: at the start, a drive C: that
// cannot be written stops the run before a verdict would have no copy but the database's.
std::string SharedCalling::send_outbox() {
    std::vector<campaign::SharedVerdict> verdicts;
    std::string error = outbox_.load(verdicts);
    if (!error.empty()) {
        return "Ошибка чтения " + outbox_.path().filename().string() + ": " + error;
    }
    in_outbox_ = unsent_ = static_cast<int>(verdicts.size());
    for (const campaign::SharedVerdict& verdict : verdicts) {
        bool foreign = false;
        error = campaign_.send(verdict, &foreign);
        if (!error.empty()) {
            return error;
        }
        if (foreign) {
            notes_.push_back("Результат из " + outbox_.path().filename().string() +
                             " не принят: в кампании нет записи " + verdict.number +
                             " со звонком " + std::to_string(verdict.attempt));
        }
        --unsent_;
    }
    error = outbox_.clear();
    if (!error.empty()) {
        return outbox_error(error);
    }
    in_outbox_ = 0;
    return "";
}

bool SharedCalling::asked_lately() const {
    auto period = last_ == HandOut::lost ? settings_.reconnect : std::chrono::seconds(1);
    return steady_clock::now() - asked_ < period;
}

void SharedCalling::answered(HandOut got, const std::string& error) {
    if (got == HandOut::lost && last_ != HandOut::lost) {
        notes_.push_back("Нет связи с базой кампании: " + error);
    } else if (got != HandOut::lost && last_ == HandOut::lost) {
        notes_.push_back("Связь с базой кампании " + campaign_.server() + " восстановлена");
    }
    last_ = got;
    asked_ = steady_clock::now();
}

HandOut SharedCalling::next(int k, std::string& error) {
    if (last_ != HandOut::record && asked_lately()) {
        return last_;
    }
    if (unsent_ > 0) {
        error = send_outbox();
        if (!error.empty()) {
            answered(HandOut::lost, error);
            return HandOut::lost;
        }
    }
    HandOut got = campaign_.hand_out(records_[k], error);
    answered(got, error);
    return got;
}

std::string SharedCalling::keep(int k, char mark, const core::LocalTime& local, int64_t utc) {
    kept_ = {records_[k].id,
             records_[k].attempt,
             mark,
             core::format_local_time(local, "%Y-%m-%d %H:%M:%S"),
             utc,
             k + 1,
             records_[k].line.substr(0, 7)};
    std::string error = outbox_.add(kept_);
    kept_written_ = error.empty();
    if (!error.empty()) {
        return outbox_error(error);
    }
    ++in_outbox_;
    ++unsent_;
    return "";
}

std::string SharedCalling::deliver() {
    if (last_ == HandOut::lost && asked_lately()) {
        return "";  // kept for the next attempt to connect
    }
    std::string unwritten;
    std::string error;
    bool in_outbox = kept_written_;
    if (!in_outbox) {
        error = campaign_.send(kept_);  // its only copy besides the log line
        kept_written_ = error.empty();
    }
    if (error.empty() && unsent_ == 1 && in_outbox) {
        error = campaign_.send(kept_);  // the one just kept, alone
        unsent_ = error.empty() ? 0 : unsent_;
    } else if (error.empty() && unsent_ > 0) {
        error = send_outbox();
    }
    if (error.empty() && unsent_ == 0 && in_outbox_ >= OUTBOX_KEPT) {
        unwritten = outbox_.clear();
        in_outbox_ = unwritten.empty() ? 0 : in_outbox_;
    }
    if (!error.empty()) {
        answered(HandOut::lost, error);
    } else if (last_ == HandOut::lost) {
        answered(HandOut::record, "");  // back: the next free channel asks at once
    }
    return unwritten.empty() ? "" : outbox_error(unwritten);
}

std::string SharedCalling::renew(const std::array<bool, core::CHANNEL_COUNT>& under_way) {
    auto now = steady_clock::now();
    if (now - renewed_ < std::chrono::seconds(settings_.lease_seconds) / 3) {
        return "";
    }
    std::vector<std::string> ids;
    for (int k = 0; k < core::CHANNEL_COUNT; ++k) {
        if (under_way[k]) {
            ids.push_back(records_[k].id);
        }
    }
    if (ids.empty() || (last_ == HandOut::lost && asked_lately())) {
        return "";
    }
    renewed_ = now;
    std::string error = campaign_.renew(ids);
    if (!error.empty()) {
        answered(HandOut::lost, error);
    }
    return error;
}

bool SharedCalling::may_take() const {
    return last_ == HandOut::record || last_ == HandOut::over;
}

std::string SharedCalling::wait_reason() const {
    switch (last_) {
        case HandOut::lost:
            return "Нет связи с базой кампании";
        case HandOut::retry_gap:
            return "Ожидание срока повторных звонков";
        default:
            return "Ожидание других стоек";
    }
}

void SharedCalling::wait_and_look(const std::atomic<bool>& stop, std::string& error) {
    while (!stop && asked_lately()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (stop) {
        return;
    }
    if (unsent_ > 0) {
        error = send_outbox();
        if (!error.empty()) {
            answered(HandOut::lost, error);
            return;
        }
    }
    HandOut got = campaign_.look(error);
    answered(got, error);
}

std::string SharedCalling::finish() {
    if (unsent_ > 0) {
        return send_outbox();
    }
    std::string error;
    if (in_outbox_ > 0) {
        error = outbox_.clear();
        in_outbox_ = error.empty() ? 0 : in_outbox_;
    }
    return error.empty() ? "" : outbox_error(error);
}

std::vector<std::string> SharedCalling::take_notes() {
    std::vector<std::string> notes;
    notes.swap(notes_);
    return notes;
}

}  // namespace dialrun
