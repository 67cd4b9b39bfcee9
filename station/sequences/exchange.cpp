#include "sequences/exchange.h"

namespace station {

bool exchange(ProgramState& s, uint8_t byte, std::optional<core::Duration> pause_before,
              const std::string& timeout_text, ReplyWait wait, TimeoutLine line) {
    if (pause_before) {
        s.link.pause(*pause_before);
    }
    s.link.send_byte(byte);
    bool answered = wait == ReplyWait::normal ? s.link.read_reply() : s.link.read_reply_byte() >= 0;
    if (answered) {
        return true;
    }
    if (line == TimeoutLine::current) {
        s.log.add(timeout_text);
    } else {
        s.log.add_unselected(timeout_text);
    }
    return false;
}

}  // namespace station
