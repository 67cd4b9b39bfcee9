#include "pinread_controller.h"

#include "form_messages.h"

namespace pinread {

using namespace core;

SurveyPauses PinreadController::survey_pauses() const {
    return {std::chrono::milliseconds(4), std::chrono::milliseconds(4)};
}

std::string PinreadController::idle_status() const {
    return " Ожидание старта или записи режима DTMF ";
}

void PinreadController::OnFormState(int code) {
    if (!show_status_code(code, " Прием DTMF-кодов остановлен ! ")) {
        show_channel_row(DTMF_MODE_NAME);
    }
    update_data();
}

}  // namespace pinread
