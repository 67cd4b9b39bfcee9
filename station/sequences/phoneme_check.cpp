#include "sequences/phoneme_check.h"

#include "link/commands.h"
#include "sequences/board_select.h"

namespace station {

namespace {

// CMD_PLAY_ALL is answered only when the board has played everything.
bool wait_for_playing(ProgramState& s) {
    core::Duration limit = s.clock.now() + CHECK_PLAY_LIMIT;
    while (!s.link.read_reply()) {
        s.service.alive();
        if (s.clock.now() >= limit) {
            return false;
        }
    }
    return true;
}

void check_board(ProgramState& s, const CheckTexts& texts, int channel) {
    if (!select_board(s, channel, static_cast<uint8_t>(core::CMD_SELECT | channel),
                      core::Duration{0}, texts.select_pause, "Тайм-Аут", "Ошибка Адреса")) {
        return;
    }
    s.link.send_byte(core::CMD_PLAY_ALL);
    if (!wait_for_playing(s)) {
        s.log.add_unselected("Тайм-Аут");
        return;
    }
    s.link.send_byte(core::CMD_END);
    if (!s.link.read_reply()) {
        s.log.add_unselected("Тайм-Аут");
    }
}

}  // namespace

void phoneme_check(ProgramState& s, const CheckTexts& texts, FormMessages& form, int channel) {
    form.form_state(FORM_CHECKING, channel);
    s.log.add("----Контроль Фонем канала---");
    s.log.add("Adrec K" + core::channel_number(channel));
    check_board(s, texts, channel);
    s.log.add(texts.end_line);
    form.end_turn(LINK_FREE, FORM_IDLE);
}

}  // namespace station
