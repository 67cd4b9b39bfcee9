#include "dialrun/dialrun_upload.h"

namespace dialrun {

namespace {

void numbered(std::vector<station::PhonemeFile>& files, const std::string& folder,
              std::initializer_list<int> numbers) {
    for (int n : numbers) {
        std::string path = folder + std::to_string(n) + ".wav";
        files.push_back({path, "Write " + path});
    }
}

void named(std::vector<station::PhonemeFile>& files, const std::string& path) {
    files.push_back({path, path});
}

// One language's 44 words: units, 10-19, tens, hundreds, then the words named by file.
void language(std::vector<station::PhonemeFile>& files, const std::string& folder,
              const std::string& named_folder) {
    numbered(files, folder, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    numbered(files, folder, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19});
    numbered(files, folder, {20, 30, 40, 50, 60, 70, 80, 90});
    numbered(files, folder, {100, 200, 300, 400, 500, 600, 700, 800, 900});
    for (const char* word : {"ODNA", "DVE", "TISYACH", "TISYACHA", "TISYACHI", "Million", "SUM"}) {
        named(files, named_folder + word + ".wav");
    }
}

station::UploadTable make_table() {
    station::UploadTable t;
    t.status_prefix = "Запись фонем прозвонки в канал K";
    t.title_line = "Запись Фонем и режима в канал";
    t.end_line = "===Запись фонем завершена===";
    t.phoneme_pause = std::chrono::milliseconds(500);
    t.mode_number = 2;
    station::UploadSection section;
    section.code = 0x80;
    section.count = 0x64;
    numbered(section.files, "C:/wav/", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    named(section.files, "c:/wav/Avtootvet1RU.wav");
    language(section.files, "C:/RU/", "c:/RU/");
    language(section.files, "C:/UZ/", "c:/UZ/");
    named(section.files, "c:/wav/Avtootvet1UZ.wav");
    t.sections.push_back(section);
    return t;
}

}  // namespace

const station::UploadTable& dialrun_upload() {
    static const station::UploadTable table = make_table();
    return table;
}

}  // namespace dialrun
