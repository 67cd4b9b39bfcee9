#include "pinread/pinread_upload.h"

namespace pinread {

namespace {

station::UploadTable make_table() {
    station::UploadTable t;
    t.status_prefix = "Запись режима DTMF в канал K";
    t.title_line = "Запись Фонем и режима PinKod в канал";
    t.end_line = "===Запись режима PINKOD завершена===";
    t.phoneme_pause = std::chrono::milliseconds(500);
    t.pause_before_first_only = true;
    t.mode_number = 4;
    t.select_failure_selected = false;
    station::UploadSection section;
    section.code = 0x70;
    section.count = 0x10;
    for (int n = 0; n < 16; ++n) {
        std::string path = "c:/PinWav/P" + std::to_string(n) + ".wav";
        section.files.push_back({path, path});
    }
    t.sections.push_back(section);
    return t;
}

}  // namespace

const station::UploadTable& pin_mode_upload() {
    static const station::UploadTable table = make_table();
    return table;
}

}  // namespace pinread
