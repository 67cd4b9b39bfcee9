#include "inform_controller.h"

#include "form_messages.h"
#include "inform_uploads.h"

namespace inform {

using namespace core;

SurveyPauses InformController::survey_pauses() const {
    return {Duration{0}, std::chrono::milliseconds(10)};
}

std::string InformController::idle_status() const {
    return " Ожидание старта или записи фонем в канал ";
}

const UploadTable* InformController::upload_table(Button button) const {
    switch (button) {
        case Button::informer_upload:
            return &informer_upload();
        case Button::time_upload:
            return &time_upload();
        default:
            return nullptr;
    }
}

// "Старт".
std::optional<std::string> InformController::OnStartInformer() {
    ProgramState& s = state();
    if (s.link_state != LINK_FREE) {
        return "Запрет старта ! ";
    }
    bool any = false;
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        any = any || s.table.serves(k, MODE_INFORMER) || s.table.serves(k, MODE_TIME);
    }
    if (!any) {
        update_data();
        return "Нет канала автоинформатора !";
    }
    s.link_state = LINK_WORK;
    claim_worker();
    s.work_event.set();
    form_.status_text = "Работает Автоинформатор !";
    update_data();
    return std::nullopt;
}

// "Стоп": each channel is taken out of service after its current message.
std::optional<std::string> InformController::OnStopInformer() {
    if (state().link_state != LINK_WORK) {
        return "Запрет Останова ! ";
    }
    form_.status_text = "Ожидание завершения ответов ";
    i_.stop_requested = 1;
    update_data();
    return std::nullopt;
}

void InformController::start_program_workers() {
    // Inform waits up to 59 s wherever it reads a reply byte: a board answers after a message.
    state().link.set_reply_byte_limit(std::chrono::seconds(59));
    start_engine_worker([this] { InformerEngine(state(), i_, messages()).run(); });
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
