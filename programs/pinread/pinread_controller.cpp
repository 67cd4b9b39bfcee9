#include "pinread/pinread_controller.h"

#include <cstdio>

#include "form/form_messages.h"
#include "pinread/dtmf_engine.h"
#include "pinread/pinread_upload.h"

namespace pinread {

using namespace core;
using namespace station;

namespace {

const ProgramDescriptor& pinread_program() {
    static const ProgramDescriptor program{
        PINREAD_INFO,
        " Ожидание старта или записи режима DTMF ",
        "режима DTMF",
        {std::chrono::milliseconds(4), std::chrono::milliseconds(4)},
        {Duration{0}, "===Котроль Фонем завершен==="},
        true,
        {{Button::upload, &pin_mode_upload()}},
        // The lines of every poll are summed up; a received code is never written.
        {{"К=", "Adres K", "Ожд.Ring", "Плата  занята"}, {"Play wav N"}}};
    return program;
}

}  // namespace

PinreadController::PinreadController(Link& link, Clock& clock, DriveC drive, Sound& sound)
    : Controller(pinread_program(), link, clock, std::move(drive), sound) {}

// "Старт".
std::optional<std::string> PinreadController::OnStart() {
    if (auto refusal =
            start_refusal(state().table.any_serves(MODE_DTMF), "Нет канала приема DTMF-кода !")) {
        return refusal;
    }
    p_.stop_requested = false;  // a run started again after the link came back
    start_engine_turn("Работает прием DTMF-кодов демо.-вариант");
    update_data();
    return std::nullopt;
}

// "Стоп": each channel finishes its call, then is stopped.
std::optional<std::string> PinreadController::OnStop() {
    if (auto refusal = stop_refusal()) {
        return refusal;
    }
    form_.status_text = "Ожидание завершения приемов ";
    p_.stop_requested = true;
    update_data();
    return std::nullopt;
}

void PinreadController::start_program_workers() {
    start_engine_worker([this] { DtmfEngine(state(), p_, messages()).run(); });
}

void PinreadController::OnFormState(int code) {
    if (!show_status_code(code, " Прием DTMF-кодов остановлен ! ")) {
        show_channel_row(DTMF_MODE_NAME);
        int k = state().table.current_channel;
        switch (code) {
            case FORM_CODE_READ: {
                ++codes_read_;
                char text[64];
                std::snprintf(text, sizeof text, "DTMF - %u,%u,%u,%u", p_.call[k].pin_digits[0],
                              p_.call[k].pin_digits[1], p_.call[k].pin_digits[2],
                              p_.call[k].pin_digits[3]);
                form_.mode_text[k] = text;
                break;
            }
            case FORM_STOP_PHRASE:
                form_.mode_text[k] = "Останов,Тайм-Аут набора";
                break;
            case FORM_ARMING:
                form_.mode_text[k] = "Ожд. Ring";
                break;
            case FORM_DIALLING:
                form_.mode_text[k] = "Ожд. набора DTMF";
                break;
            case FORM_PLAYING:
                form_.mode_text[k] = "Play wav";
                break;
            case FORM_CHANNEL_STOPPED:
                form_.mode_text[k] = "Работа остановлена";
                break;
            default:
                break;
        }
    }
    update_data();
}

// How many codes came, never the codes.
std::vector<std::pair<std::string, std::string>> PinreadController::status_counts() const {
    return {{"codes", std::to_string(codes_read_)}};
}

}  // namespace pinread
