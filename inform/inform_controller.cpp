#include "inform_controller.h"

#include "form_messages.h"

namespace inform {

using namespace core;

SurveyPauses InformController::survey_pauses() const {
    return {Duration{0}, std::chrono::milliseconds(10)};
}

std::string InformController::idle_status() const {
    return " Ожидание старта или записи фонем в канал ";
}

CheckTexts InformController::check_texts() const {
    return {std::chrono::milliseconds(4), "===Контроль Фонем завершен==="};
}

void InformController::OnFormState(int code) {
    if (!show_status_code(code, " Автоинформатор остановлен ! ")) {
        show_channel_row();
        if (code == FORM_MESSAGES_COUNTED) {
            form_.call_count[state().table.current_channel] += state().link.OGD();
        }
    }
    update_data();
}

std::vector<std::string> InformController::row(int k) const {
    std::vector<std::string> fields = Controller::row(k);
    fields.push_back(std::to_string(form_.call_count[k]));
    return fields;
}

std::vector<std::pair<std::string, std::string>> InformController::show() const {
    auto members = Controller::show();
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        members.push_back(
            {"call_count[K" + std::to_string(k + 1) + "]", std::to_string(form_.call_count[k])});
    }
    return members;
}

}  // namespace inform
