#include "dialrun_controller.h"

#include <algorithm>
#include <cstdlib>

#include "form_messages.h"

namespace dialrun {

using namespace core;

std::string DialrunController::idle_status() const {
    return " Ожидание старта или записи фонем в канал ";
}

void DialrunController::OnFormState(int code) {
    if (show_status_code(code, " Завершение прозвонки абонентов ! ")) {
        if (code == FORM_WORK_ENDED) {
            form_.progress = 100;
        }
    } else {
        show_channel_row();
    }
    update_data();
}

std::vector<std::pair<std::string, std::string>> DialrunController::show() const {
    auto members = Controller::show();
    auto add = [&](const char* name, const std::string& value) {
        members.push_back({name, value});
    };
    add("record_list_count", std::to_string(form_.record_list.size()));
    add("notified_list_count", std::to_string(form_.notified_list.size()));
    add("not_notified_list_count", std::to_string(form_.not_notified_list.size()));
    add("list_total", std::to_string(form_.list_total));
    add("notified_total", std::to_string(form_.notified_total));
    add("not_notified_total", std::to_string(form_.not_notified_total));
    add("wait_setting", std::to_string(form_.wait_setting));
    add("stop_setting", std::to_string(form_.stop_setting));
    add("record_total", std::to_string(form_.record_total));
    add("start_stamp", form_.start_stamp);
    add("stop_stamp", form_.stop_stamp);
    add("progress", std::to_string(form_.progress));
    return members;
}

bool DialrunController::program_command(const std::string& word, const std::string& argument) {
    if (word != "set-wait" && word != "set-stop") {
        return false;
    }
    char* end = nullptr;
    long value = std::strtol(argument.c_str(), &end, 10);
    if (argument.empty() || *end != 0) {
        return false;
    }
    // The spins stop at the ends of their ranges.
    if (word == "set-wait") {
        form_.wait_setting = static_cast<unsigned>(std::clamp(value, 1L, 59L));
    } else {
        form_.stop_setting = static_cast<unsigned>(std::clamp(value, 1L, 23L));
    }
    update_data();
    return true;
}

}  // namespace dialrun
