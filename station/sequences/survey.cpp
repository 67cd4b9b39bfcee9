#include "sequences/survey.h"

#include "sequences/board_select.h"
#include "sequences/exchange.h"

#include <string>

#include "link/commands.h"

namespace station {

namespace {

// The system's texts carry a few Latin letters among the Cyrillic ones on purpose: the "a" of
// "Остaнов" here, the "A" of the calling engine's "ТA Err1" and "ТA Err2", and the "m" of
// Inform's "фонеm". They are the system's own texts, which logs and scripts compare byte for
// byte: do not correct them.
const char* const STOPPED_ON_ADDRESS = "Ошибка адреса.Остaнов!";
const char* const STOPPED_ON_TIMEOUT = "Тайм-аут ответа.Остaнов!";

// The survey's steps have no pause of their own; a silence stops the survey, said as the
// current line.
bool survey_step(ProgramState& s, uint8_t byte) {
    return exchange(s, byte, std::nullopt, STOPPED_ON_TIMEOUT, ReplyWait::normal,
                    TimeoutLine::current);
}

enum class Answer { absent, present, stop };

// One channel: select it, read its mode and line, stop its mode and release it. The survey
// keeps its own channel index, so a radio click
// meanwhile changes the operator's selection, not the board being surveyed.
Answer survey_channel(ProgramState& s, const SurveyPauses& pauses, FormMessages& form,
                      int channel) {
    ChannelTable& t = s.table;
    // A survey after the link came back: what an earlier one found does not outlive a board
    // that is gone (these are the values before any survey).
    t.channel_present[channel] = 0;
    t.channel_mode[channel] = 0;
    t.channel_line[channel] = 0;
    s.log.add("Проверка " + core::channel_number(channel) + " канала");
    Echo echo =
        select_and_check_echo(s, channel, static_cast<uint8_t>(core::CMD_SELECT | channel),
                              {core::Duration{0}, pauses.after_select, PauseKind::whole_sleep});
    if (echo == Echo::silent) {
        return Answer::absent;
    }
    if (echo == Echo::wrong_address) {
        s.log.add(STOPPED_ON_ADDRESS);
        return Answer::stop;
    }
    uint8_t reply = s.link.OGD();
    t.channel_present[channel] = 1;
    t.channel_mode[channel] = reply & core::REPLY_MODE_MASK;
    if (!survey_step(s, core::CMD_LINE_STATUS)) {
        return Answer::stop;
    }
    t.channel_line[channel] = s.link.OGD() & core::LINE_MASK;
    if (!survey_step(s, core::CMD_STOP_MODE) || !survey_step(s, core::CMD_END)) {
        return Answer::stop;
    }
    form.form_state(FORM_CHANNEL_ROW, channel);
    return Answer::present;
}

}  // namespace

void channel_survey(ProgramState& s, const SurveyPauses& pauses, FormMessages& form) {
    s.log.add_unselected("   Проверка каналов и линий телефонов");
    for (int channel = 0; channel < core::CHANNEL_COUNT && !s.ending; ++channel) {
        s.service.alive();
        form.form_update(channel);
        s.clock.sleep_for(pauses.after_form_update);
        if (survey_channel(s, pauses, form, channel) == Answer::stop) {
            return;  // link_state stays -1: every link action is refused until a restart
        }
        s.clock.sleep_for(std::chrono::milliseconds(100));
    }
    form.end_turn(LINK_FREE, FORM_IDLE, core::CHANNEL_COUNT - 1);
}

}  // namespace station
