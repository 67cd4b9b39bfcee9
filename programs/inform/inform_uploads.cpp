#include "inform/inform_uploads.h"

#include <cstdio>

namespace inform {

namespace {

using std::chrono::milliseconds;

station::UploadTable make_informer_upload() {
    station::UploadTable t;
    t.status_prefix = "Запись фонеm автоинформатора в канал K";
    t.title_line = "Запись Фонем и режима в канал";
    t.end_line = "===Запись фонем завершена===";
    t.select_pause = milliseconds(4);
    t.phoneme_pause = milliseconds(1000);
    t.mode_number = 1;
    t.select_failure_selected = false;
    station::UploadSection section;
    section.code = 0x90;
    section.count = 0x01;
    section.files.push_back({"c:/wav/Spravka.wav", "c:/wav/Spravka.wav"});
    t.sections.push_back(section);
    return t;
}

// "c:/Time/" + two digits, the kind (D day, H hour, M minute) and the language (U, R).
station::UploadSection time_section(const char* title, uint8_t code, int first, int last,
                                    const char* kind_and_language,
                                    std::optional<std::array<uint8_t, 2>> closing) {
    station::UploadSection section;
    section.title = title;
    section.code = code;
    section.count = static_cast<uint8_t>(last - first + 1);
    for (int n = first; n <= last; ++n) {
        char path[64];
        std::snprintf(path, sizeof path, "c:/Time/%02d%s.wav", n, kind_and_language);
        section.files.push_back({path, ""});  // no line per phoneme here
    }
    section.closing = closing;
    return section;
}

station::UploadTable make_time_upload() {
    station::UploadTable t;
    t.status_prefix = "Запись фонеm службы времени в канал K";
    t.title_line = "Запись Фонем Времени и режима в канал";
    t.end_line = "===Запись фонем завершена===";
    t.connect_line = "Подключение к шине ";
    t.reset_line = "Сброс кодера";
    t.mode_line = "Запись  режима времени ";
    t.release_line = "Отключение от шины ";
    t.select_pause = milliseconds(4);
    t.phoneme_pause = milliseconds(500);
    t.section_pause = milliseconds(500);
    t.release_pause = milliseconds(500);
    t.mode_number = 3;
    t.select_failure_selected = false;
    using Pair = std::array<uint8_t, 2>;
    t.sections = {
        time_section("Запись дней недели UZ ", 0x10, 1, 7, "DU", Pair{0x10, 0x40}),
        time_section("Запись часов UZ ", 0x20, 0, 23, "HU", Pair{0x10, 0x4E}),
        time_section("Запись дней недели RU ", 0x30, 1, 7, "DR", Pair{0x10, 0x00}),
        time_section("Запись часов RU ", 0x40, 0, 23, "HR", Pair{0x10, 0x0E}),
        time_section("Запись минут UZ ", 0x50, 0, 59, "MU", std::nullopt),
        time_section("Запись минут RU ", 0x60, 0, 59, "MR", std::nullopt),
    };
    return t;
}

}  // namespace

const station::UploadTable& informer_upload() {
    static const station::UploadTable table = make_informer_upload();
    return table;
}

const station::UploadTable& time_upload() {
    static const station::UploadTable table = make_time_upload();
    return table;
}

}  // namespace inform
