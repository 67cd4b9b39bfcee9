#include "sequences/board_select.h"

#include "link/commands.h"

namespace station {

namespace {

void pause(ProgramState& s, core::Duration d, PauseKind kind) {
    if (kind == PauseKind::whole_sleep) {
        s.clock.sleep_for(d);
    } else {
        s.link.pause(d);
    }
}

}  // namespace

Echo select_and_check_echo(ProgramState& s, int channel, uint8_t select_byte,
                           const SelectPauses& pauses) {
    pause(s, pauses.before, pauses.kind);
    s.link.send_select(select_byte);
    pause(s, pauses.after, pauses.kind);
    if (!s.link.read_reply()) {
        return Echo::silent;
    }
    if ((s.link.OGD() & core::REPLY_ADDRESS_MASK) != channel) {
        return Echo::wrong_address;
    }
    s.table.last_reply[channel] = core::calendar_seconds(s.clock.local_time());
    return Echo::own_address;
}

bool select_board(ProgramState& s, int channel, uint8_t select_byte, core::Duration before,
                  core::Duration after, const char* silent_text, const char* echo_text) {
    switch (select_and_check_echo(s, channel, select_byte, {before, after})) {
        case Echo::own_address:
            return true;
        case Echo::silent:
            s.log.add_unselected(silent_text);
            return false;
        case Echo::wrong_address:
            s.log.add_unselected(echo_text);
            return false;
    }
    return false;
}

}  // namespace station
