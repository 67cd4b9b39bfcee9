#include "sequences/board_select.h"

#include "link/commands.h"

namespace core {

bool select_board(ProgramState& s, int channel, uint8_t select_byte, Duration before,
                  Duration after, const char* silent_text, const char* echo_text) {
    s.link.pause(before);
    s.link.send_select(select_byte);
    s.link.pause(after);
    if (!s.link.read_reply()) {
        s.log.add_unselected(silent_text);
        return false;
    }
    if ((s.link.OGD() & REPLY_ADDRESS_MASK) != channel) {
        s.log.add_unselected(echo_text);
        return false;
    }
    return true;
}

}  // namespace core
