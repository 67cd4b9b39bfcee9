#include "inform/inform_controller.h"

#include "form/form_messages.h"
#include "inform/inform_uploads.h"

namespace inform {

using namespace core;
using namespace station;

namespace {

const ProgramDescriptor& inform_program() {
    static const ProgramDescriptor program{
        INFORM_INFO,
        " Ожидание старта или записи фонем в канал ",
        "Фонем",
        {Duration{0}, std::chrono::milliseconds(10)},
        {std::chrono::milliseconds(4), "===Контроль Фонем завершен==="},
        true,
        {{Button::informer_upload, &informer_upload()}, {Button::time_upload, &time_upload()}},
        {{"Adres K", "Ждать завершения сообщения", "end", "Откл. от шины"}, {}}};
    return program;
}

}  // namespace

InformController::InformController(Link& link, Clock& clock, DriveC drive, Sound& sound)
    : Controller(inform_program(), link, clock, std::move(drive), sound) {}

// "Старт".
std::optional<std::string> InformController::OnStartInformer() {
    const ChannelTable& t = state().table;
    if (auto refusal = start_refusal(t.any_serves(MODE_INFORMER) || t.any_serves(MODE_TIME),
                                     "Нет канала автоинформатора !")) {
        return refusal;
    }
    i_.stop_requested = false;  // a run started again after the link came back
    start_engine_turn("Работает Автоинформатор !");
    update_data();
    return std::nullopt;
}

// "Стоп": each channel is taken out of service after its current message.
std::optional<std::string> InformController::OnStopInformer() {
    if (auto refusal = stop_refusal()) {
        return refusal;
    }
    form_.status_text = "Ожидание завершения ответов ";
    i_.stop_requested = true;
    update_data();
    return std::nullopt;
}

void InformController::start_program_workers() {
    // Inform waits up to 59 s wherever it reads a reply byte: a board answers after a message.
    state().link.set_reply_byte_limit(std::chrono::seconds(59));
    start_engine_worker([this] { InformerEngine(state(), i_, messages()).run(); });
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
            {"call_count[K" + core::channel_number(k) + "]", std::to_string(form_.call_count[k])});
    }
    return members;
}

std::string InformController::take_settings(const std::map<std::string, std::string>& values) {
    auto mode = values.find("clock-check");
    if (mode != values.end()) {
        i_.clock_check = ClockCheck(mode->second == "hold"   ? ClockCheckMode::hold
                                    : mode->second == "warn" ? ClockCheckMode::warn
                                                             : ClockCheckMode::off);
    }
    return {};
}

std::vector<std::pair<std::string, std::string>> InformController::status_counts() const {
    std::string per_channel = "{";
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        per_channel += std::string(k == 0 ? "" : ", ") + "\"K" + std::to_string(k + 1) +
                       "\": " + std::to_string(form_.call_count[k]);
    }
    return {{"messages", per_channel + "}"}};
}

}  // namespace inform
