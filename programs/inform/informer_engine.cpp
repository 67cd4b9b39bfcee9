#include "inform/informer_engine.h"

#include "link/commands.h"
#include "sequences/board_select.h"
#include "sequences/exchange.h"

namespace inform {

using namespace core;
using namespace station;
using std::chrono::milliseconds;

namespace {

constexpr milliseconds SELECT_PAUSE{50};
constexpr milliseconds REPLY_PAUSE{4};
constexpr milliseconds BYTE_PAUSE{2};

}  // namespace

std::array<uint8_t, 6> clock_bytes(const LocalTime& now) {
    std::string text = format_local_time(now, "%H%M%w");
    int weekday = text[4] - '0';
    return {CMD_SET_CLOCK,
            bcd(text[0], text[1]),
            static_cast<uint8_t>(now.hour),
            bcd(text[2], text[3]),
            static_cast<uint8_t>(now.minute),
            static_cast<uint8_t>(weekday == 0 ? 6 : weekday - 1)};
}

void InformerEngine::run() {
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        i_.served_mode[k] = s_.table.serves(k, MODE_INFORMER) ? MODE_NUMBER_INFORMER
                            : s_.table.serves(k, MODE_TIME)   ? MODE_NUMBER_TIME
                                                              : 0;
    }
    correction_due_ = false;
    correction_done_ = false;
    i_.clock_check.restart();
    i_.clock_check.corrections_allowed(s_);
    run_passes();
}

bool InformerEngine::start_channel(int k) {
    form_.form_update(k);
    s_.log.add("Start K" + channel_number(k));
    if (!select_board(s_, k, static_cast<uint8_t>(CMD_SELECT | k), SELECT_PAUSE, REPLY_PAUSE,
                      "Тайм-Аут0", "Ошибка Адреса")) {
        return false;
    }
    bool time_service = i_.served_mode[k] == MODE_NUMBER_TIME;
    if (!exchange(s_, time_service ? CMD_START_TIME : CMD_START_INFORMER, BYTE_PAUSE,
                  "Тайм-Аут00")) {
        return false;
    }
    if (time_service) {
        s_.log.add_unselected("Установка времени ! ");
        s_.log.add("Ждать cek < 5 ");
        // The board counts from the minute set: wait for the start of a minute.
        LocalTime now = s_.clock.local_time();
        while (now.second >= 5) {
            s_.service.alive();
            pause(milliseconds(100));
            now = s_.clock.local_time();
        }
        if (!set_board_clock(now, false)) {
            return false;
        }
    }
    return exchange(s_, CMD_END, BYTE_PAUSE, "Тайм-Аут000");
}

bool InformerEngine::set_board_clock(const LocalTime& now, bool long_first_wait) {
    std::array<uint8_t, 6> bytes = clock_bytes(now);
    for (size_t b = 0; b < bytes.size(); ++b) {
        bool ok = b == 0 && long_first_wait
                      ? exchange(s_, bytes[b], BYTE_PAUSE, "Тайм-АутT", ReplyWait::long_message)
                      : exchange(s_, bytes[b], BYTE_PAUSE, "Тайм-АутT");
        if (!ok) {
            return false;
        }
    }
    return true;
}

void InformerEngine::before_pass() {
    std::string minute = format_local_time(s_.clock.local_time(), "%M");
    if ((minute[1] & 0x0F) == 0 && i_.clock_check.corrections_allowed(s_)) {
        correction_due_ = true;
    } else {
        correction_due_ = false;
        correction_done_ = false;
    }
}

bool InformerEngine::poll_channel(int k) {
    pause(SELECT_PAUSE);
    form_.form_update(k);
    s_.log.add("Adres K" + channel_number(k));
    if (!select_board(s_, k, static_cast<uint8_t>(CMD_SELECT | k), SELECT_PAUSE, REPLY_PAUSE,
                      "Тайм-Аут1", "Ошибка Адреса")) {
        return false;
    }
    pause(BYTE_PAUSE);
    s_.link.send_byte(CMD_WAIT_MESSAGE);
    s_.log.add("Ждать завершения сообщения");
    int messages = s_.link.read_reply_byte();
    if (messages < 0) {
        s_.log.add_unselected("Тайм-Аут rezult");
        return false;
    }
    s_.log.add_unselected("end");
    if (messages != 0) {
        form_.form_state(FORM_MESSAGES_COUNTED, k);
    }
    if (i_.served_mode[k] == MODE_NUMBER_TIME && correction_due_ && !correction_done_) {
        s_.log.add("Корректировка времени");
        if (!set_board_clock(s_.clock.local_time(), true)) {
            return false;
        }
        correction_done_ = true;
    }
    if (i_.stop_requested) {
        i_.served_mode[k] = 0;
        if (!exchange(s_, CMD_STOP_MODE, BYTE_PAUSE, "Тайм-Аут3", ReplyWait::long_message)) {
            return false;
        }
    }
    s_.log.add("Откл. от шины");
    return exchange(s_, CMD_END, BYTE_PAUSE, "Тайм-Аут otkl", ReplyWait::long_message);
}

void InformerEngine::end_run() {
    s_.log.add("Останов Автоинформатора");
    // link_state goes from 1 to 10 in one step: no check or upload can start in between.
    form_.end_turn(LINK_WORK_ENDED, FORM_WORK_ENDED, 0);
}

}  // namespace inform
