#include "list_folder.h"

#include "campaign_folder.h"
#include "drive_paths.h"
#include "durable_file.h"
#include "subscriber_list.h"
#include "utf8_text.h"

namespace ringlist {

std::filesystem::path folder_list(const std::filesystem::path& folder) {
    return core::DriveC(folder).resolve("c:\\Ring.TXT");
}

bool hold_list(const std::filesystem::path& path, HeldList& list, std::ostream& out) {
    std::string error = list.hold(path);
    if (error == core::FILE_BUSY) {
        out << "Список " << core::path_utf8(path) << " занят другой программой: идет прозвонка?\n";
        return false;
    }
    if (!error.empty()) {
        out << "Нет файла " << core::path_utf8(path) << ": " << error << "\n";
        return false;
    }
    dialrun::ListReview review = dialrun::review_list(list.bytes());
    if (!review.faults.empty()) {
        out << "Список " << core::path_utf8(path) << " с ошибками, он не изменен:\n";
        for (const dialrun::ListFault& f : review.faults) {
            out << "  " << fault_place(f) << "\n";
        }
        return false;
    }
    return true;
}

std::string backup_name(const std::filesystem::path& list) {
    std::string base = core::path_utf8(list.filename()) + "." + file_stamp();
    std::string name = base + ".bak";
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(list.parent_path() / core::utf8_path(name), ec); ++n) {
        name = base + "-" + std::to_string(n) + ".bak";
    }
    return name;
}

}  // namespace ringlist
