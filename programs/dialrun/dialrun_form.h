#pragma once

#include <string>

#include "form/form_model.h"
#include "form/text_list.h"

namespace dialrun {

// Dialrun's form: the common members and its own lists, counters, settings and stamps.
struct DialrunForm : station::FormModel {
    station::TextList record_list;        // "Список"
    station::TextList notified_list;      // "Оповещены"
    station::TextList not_notified_list;  // "Не оповещены"
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

const char* const RECORD_LIST_CAPTION = "Список";
const char* const NOTIFIED_LIST_CAPTION = "Оповещены";
const char* const NOT_NOTIFIED_LIST_CAPTION = "Не оповещены";

}  // namespace dialrun
