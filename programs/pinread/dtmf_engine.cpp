#include "pinread/dtmf_engine.h"

#include "link/commands.h"
#include "sequences/board_select.h"
#include "sequences/exchange.h"

namespace pinread {

using namespace core;
using namespace station;
using std::chrono::milliseconds;

namespace {

constexpr milliseconds SELECT_PAUSE{50};
constexpr milliseconds BYTE_PAUSE{45};
constexpr int64_t DIAL_LIMIT_SECONDS = 58;

}  // namespace

void DtmfEngine::run() {
    // From now on every reply may take up to 30 s: the boards answer from a call.
    s_.link.set_reply_limit(std::chrono::seconds(30));
    s_.link.set_reply_byte_limit(std::chrono::seconds(30));
    s_.log.add("Старт Режима приема DTMF !");
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        p_.call[k] = PinreadCall{.pin_digits = p_.call[k].pin_digits};
        p_.dtmf_active[k] = s_.table.serves(k, MODE_DTMF);
    }
    run_passes();
}

int64_t DtmfEngine::whole_seconds() const {
    return std::chrono::duration_cast<std::chrono::seconds>(s_.clock.now()).count();
}

bool DtmfEngine::start_channel(int k) {
    form_.form_update(k);
    s_.log.add("Start K" + channel_number(k));
    if (!select_board(s_, k, static_cast<uint8_t>(CMD_SELECT | k), SELECT_PAUSE, SELECT_PAUSE,
                      "Тайм-Аут0", "Ошибка Адреса")) {
        return false;
    }
    // The pause after CMD_START_DTMF comes before its reply is awaited.
    s_.link.send_byte(CMD_START_DTMF);
    pause(BYTE_PAUSE);
    if (!s_.link.read_reply()) {
        s_.log.add_unselected("Тайм-Аут00");
        return false;
    }
    return exchange(s_, CMD_END, BYTE_PAUSE, "Тайм-Аут000");
}

// Every channel of a pass is made current and named in the log, served or not.
void DtmfEngine::before_channel(int k) {
    s_.table.current_channel = k;
    s_.log.add("К=" + channel_number(k));
}

bool DtmfEngine::poll_channel(int k) {
    PinreadCall& c = p_.call[k];
    form_.form_update(k);
    s_.log.add("Adres K" + channel_number(k));
    uint8_t select = static_cast<uint8_t>(CMD_SELECT | k);
    if (c.hangup_stage == HangupStage::stop_phrase_due) {
        s_.log.add_unselected("Adres+7bit");
        select |= CMD_SELECT_BIT7;  // asks the board to leave its wait for a call
    }
    if (!select_board(s_, k, select, SELECT_PAUSE, SELECT_PAUSE, "Тайм-Аут Adres",
                      "Ошибка Адреса ")) {
        return false;
    }
    uint8_t r = s_.link.OGD();
    bool busy = (r & REPLY_BUSY) != 0;
    bool call = (r & REPLY_CALL) != 0;
    if (busy && !call) {
        s_.log.add_unselected("Ожд.Ring");
        if (p_.stop_requested) {
            c.hangup_stage = HangupStage::stop_phrase_due;
        }
    } else if (busy && c.hangup_stage != HangupStage::hang_up_due && c.playback_index == 0) {
        // The caller is dialling: the dial timer runs from the first such poll.
        s_.log.add("Контроль Taim-Ayta");
        if (!c.dial_timer_running) {
            c.dial_timer_start = whole_seconds();
            c.dial_timer_running = true;
        } else {
            form_.form_state(FORM_DIALLING, k);
            if (whole_seconds() - c.dial_timer_start > DIAL_LIMIT_SECONDS) {
                c.hangup_stage = HangupStage::stop_phrase_due;
            }
        }
    } else if (busy) {
        s_.log.add_unselected("Плата  занята");
    } else {
        s_.log.add_unselected("Плата подключена");
        return on_ready(k);
    }
    return true;
}

// A ready board: the first action whose condition holds.
bool DtmfEngine::on_ready(int k) {
    PinreadCall& c = p_.call[k];
    if (c.idle()) {
        return arm(k);
    }
    if (c.hangup_stage == HangupStage::stop_phrase_due) {
        return play_stop_phrase(k);
    }
    if (c.hangup_stage == HangupStage::hang_up_due) {
        return hang_up(k);
    }
    if (c.pin_armed && c.playback_index == 0) {
        return read_code(k);
    }
    if (c.playback_index != 0) {
        return play_next_key(k);
    }
    return p_.stop_requested ? stop_channel(k) : release(k);
}

bool DtmfEngine::arm(int k) {
    form_.form_state(FORM_ARMING, k);
    s_.log.add_unselected("Команда Priem PinKoda");
    if (p_.stop_requested) {
        return stop_channel(k);
    }
    if (!exchange(s_, CMD_RECEIVE_PIN, SELECT_PAUSE, "Тайм-Аут")) {
        return false;
    }
    s_.log.add_unselected("4 cifri Pinkoda");
    if (!exchange(s_, PIN_DIGIT_COUNT, BYTE_PAUSE, "Тайм-АутF2")) {
        return false;
    }
    p_.call[k].pin_armed = true;
    return true;
}

bool DtmfEngine::play_stop_phrase(int k) {
    p_.call[k].hangup_stage = HangupStage::hang_up_due;
    s_.log.add_unselected("Play wav-ostanova");
    form_.form_state(FORM_STOP_PHRASE, k);
    if (!exchange(s_, CMD_PLAY_PHRASE, BYTE_PAUSE, "Тайм-АутF1")) {
        return false;
    }
    pause(BYTE_PAUSE);
    s_.log.add_unselected("Play wav N0");
    return exchange(s_, PHRASE_BASE, Duration{0}, "Тайм-АутF2");
}

bool DtmfEngine::hang_up(int k) {
    PinreadCall& c = p_.call[k];
    s_.log.add_unselected("Off Trubka ");
    if (!exchange(s_, CMD_HANG_UP, BYTE_PAUSE, "Тайм-Аут")) {
        return false;
    }
    c.hangup_stage = HangupStage::none;
    c.dial_timer_running = false;
    c.pin_armed = false;
    c.playback_index = 0;
    form_.form_state(FORM_HUNG_UP, k);
    return p_.stop_requested ? stop_channel(k) : release(k);
}

bool DtmfEngine::read_code(int k) {
    PinreadCall& c = p_.call[k];
    s_.log.add("Команда запроса 4-х цифр DTMF");
    if (!exchange(s_, CMD_READ_DIGITS, BYTE_PAUSE, "Тайм-Аут")) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        s_.log.add_unselected("Запрос DTMF");
        pause(BYTE_PAUSE);
        s_.link.send_byte(CMD_END);
        int key = s_.link.read_reply_byte();
        if (key < 0) {
            s_.log.add_unselected("Тайм-Аут");
            return false;
        }
        c.pin_digits[i] = static_cast<uint8_t>(key);
    }
    form_.form_state(FORM_CODE_READ, k);
    c.playback_index = 1;
    if (!exchange(s_, CMD_PLAY_PHRASE, BYTE_PAUSE, "Тайм-Аут")) {
        return false;
    }
    uint8_t first = c.pin_digits[0];
    s_.log.add("Play wav N" + std::to_string(first));
    return exchange(s_, static_cast<uint8_t>(PHRASE_BASE | first), BYTE_PAUSE, "Тайм-Аут");
}

bool DtmfEngine::play_next_key(int k) {
    PinreadCall& c = p_.call[k];
    form_.form_state(FORM_PLAYING, k);
    if (!exchange(s_, CMD_PLAY_PHRASE, BYTE_PAUSE, "Тайм-Аут")) {
        return false;
    }
    uint8_t key = c.pin_digits[c.playback_index];
    s_.log.add("Play wav N" + std::to_string(key));
    if (++c.playback_index == 4) {
        c.pin_armed = false;
        c.dial_timer_running = false;
        c.hangup_stage = HangupStage::hang_up_due;
        c.playback_index = 0;
    }
    return exchange(s_, static_cast<uint8_t>(PHRASE_BASE | key), BYTE_PAUSE, "Тайм-Аут");
}

bool DtmfEngine::stop_channel(int k) {
    p_.dtmf_active[k] = false;
    form_.form_state(FORM_CHANNEL_STOPPED, k);
    s_.log.add_unselected("Команда останова режима ");
    return exchange(s_, CMD_STOP_MODE, BYTE_PAUSE, "Тайм-Аут3") && release(k);
}

bool DtmfEngine::release(int) {
    s_.log.add("Откл. от шины");
    return exchange(s_, CMD_END, BYTE_PAUSE, "Тайм-Аут otkl");
}

void DtmfEngine::end_run() {
    s_.log.add("Останов приема DTMF-кодов");
    // link_state goes from 1 to 10 in one step: no check or upload can start in between.
    form_.end_turn(station::LINK_WORK_ENDED, station::FORM_WORK_ENDED, 0);
}

}  // namespace pinread
