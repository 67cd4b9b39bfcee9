#pragma once

#include <string>
#include <vector>

#include "form_model.h"

namespace dialrun {

// Dialrun's form: the common members and its own lists, counters, settings and stamps.
struct DialrunForm : core::FormModel {
    std::vector<std::string> record_list;        // "Список"
    std::vector<std::string> notified_list;      // "Оповещены"
    std::vector<std::string> not_notified_list;  // "Не оповещены"
    unsigned list_total = 0;
    unsigned notified_total = 0;
    unsigned not_notified_total = 0;
    unsigned wait_setting = 20;  // "Ожид.", spin 1..59
    unsigned stop_setting = 22;  // "Стоп", spin 1..23
    unsigned record_total = 0;   // "Кол. номеров"
    std::string start_stamp;
    std::string stop_stamp;
    int progress = 0;  // 0..100
};

}  // namespace dialrun
