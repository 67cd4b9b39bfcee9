#include "ringlist/held_list.h"

#include <cerrno>
#include <ctime>

#include "base/system_reason.h"
#include "base/utf8_text.h"
#include "campaign/subscriber_list.h"
#include "files/drive_paths.h"
#include "files/durable_file.h"
#include "files/regular_file.h"
#include "ringlist/campaign_folder.h"
#include "time/clock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ringlist {

HeldList::~HeldList() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::string HeldList::hold(const std::filesystem::path& path) {
    std::string error;
    file_ = core::open_exclusive(path, "rb", error);
    if (file_ == nullptr) {
        return error;
    }
    path_ = path;
    bytes_.clear();
    char block[65536];
    for (size_t n; (n = std::fread(block, 1, sizeof block, file_)) > 0;) {
        if (bytes_.size() + n > core::LARGEST_INPUT) {
            bytes_.clear();
            return core::TOO_LARGE;
        }
        bytes_.append(block, n);
    }
    if (std::ferror(file_)) {
        return core::system_reason(errno);
    }
    return {};
}

std::string file_stamp() {
    return core::format_local_time(core::local_time_at(std::time(nullptr)), "%Y%m%d-%H%M%S");
}

namespace {

// A file made from the list (the new list, its backup) takes the list's owner, group and mode
// before a byte is written: the records are personal data, never readable by more users than
// the list itself, and Dialrun's user can still mark the new list.
std::string write_like_list(std::FILE* list, const std::filesystem::path& path,
                            const std::string& bytes) {
#ifdef _WIN32
    (void)list;
    return core::write_new_file(path, bytes);
#else
    struct stat model {};
    if (::fstat(fileno(list), &model) != 0) {
        return core::system_reason(errno);
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return core::path_utf8(path.filename()) + ": " + core::system_reason(errno);
    }
    struct stat made {};
    bool same_owner =
        ::fstat(fd, &made) == 0 && made.st_uid == model.st_uid && made.st_gid == model.st_gid;
    std::string error;
    if (!same_owner && ::fchown(fd, model.st_uid, model.st_gid) != 0) {
        error = core::system_reason(errno);
    }
    if (error.empty() && ::fchmod(fd, model.st_mode & 07777) != 0) {
        error = core::system_reason(errno);
    }
    std::FILE* file = error.empty() ? ::fdopen(fd, "wb") : nullptr;
    if (file == nullptr) {
        error = error.empty() ? core::system_reason(errno) : error;
        ::close(fd);
    } else {
        error = core::write_durably_and_close(file, bytes);
    }
    if (!error.empty()) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return core::path_utf8(path.filename()) + ": " + error;
    }
    return {};
#endif
}

// The new file takes the list's name in one step.
std::string rename_over(const std::filesystem::path& fresh, const std::filesystem::path& list) {
#ifdef _WIN32
    if (!MoveFileExW(fresh.wstring().c_str(), list.wstring().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return "не удалось заменить список (ошибка " + std::to_string(GetLastError()) + ")";
    }
    return {};
#else
    if (::rename(fresh.c_str(), list.c_str()) != 0) {
        return core::system_reason(errno);
    }
    return {};
#endif
}

}  // namespace

std::string HeldList::replace(const std::string& bytes, const std::string& backup_name) {
    renamed_ = false;
    // The backup too is written whole under another name and renamed: a torn .bak is no copy.
    if (!backup_name.empty()) {
        std::filesystem::path backup = path_.parent_path() / core::utf8_path(backup_name);
        std::filesystem::path fresh = core::utf8_path(core::path_utf8(backup) + ".new");
        std::error_code ec;
        std::filesystem::remove(fresh, ec);
        std::string error = write_like_list(file_, fresh, bytes_);
        if (error.empty()) {
            error = rename_over(fresh, backup);
        }
        if (!error.empty()) {
            std::filesystem::remove(fresh, ec);
            return "копия не записана: " + error;
        }
    }
    // A list behind a symbolic link stays behind it: the link's target is replaced.
    std::error_code ec;
    std::filesystem::path target =
        std::filesystem::is_symlink(path_, ec) ? std::filesystem::canonical(path_, ec) : path_;
    if (ec) {
        return "список не заменен: " + core::system_reason(ec.value());
    }
    std::filesystem::path folder = target.parent_path();
    std::filesystem::path fresh =
        folder / core::utf8_path(core::path_utf8(target.filename()) + ".new");
    std::filesystem::remove(fresh, ec);  // left by an earlier run that was cut short
    std::string error = write_like_list(file_, fresh, bytes);
#ifdef _WIN32
    // Windows renames nothing over a file that is open: let go of it at the last moment.
    if (error.empty()) {
        std::fclose(file_);
        file_ = nullptr;
    }
#endif
    if (error.empty()) {
        error = rename_over(fresh, target);
    }
    if (!error.empty()) {
        std::filesystem::remove(fresh, ec);
        return "список не заменен: " + error;
    }
    bytes_ = bytes;
    renamed_ = true;
    error = core::sync_folder(folder);
    return error.empty() ? error
                         : "список заменен, но папку не удалось записать на диск (" + error +
                               "): после сбоя питания может вернуться прежний";
}

std::filesystem::path folder_list(const std::filesystem::path& folder) {
    return core::DriveC(folder).resolve("c:\\Ring.TXT");
}

namespace {

// "Ring.TXT.20261208-093000.bak.new" or "...-2.bak.new": a backup of this list a run was
// killed while writing.
bool backup_aside_of(const std::string& list, const std::string& name) {
    const std::string end = ".bak.new";
    if (name.size() < list.size() + 1 + 15 + end.size() || name.compare(0, list.size(), list) ||
        name[list.size()] != '.' || name.compare(name.size() - end.size(), end.size(), end)) {
        return false;
    }
    std::string stamp = name.substr(list.size() + 1, name.size() - list.size() - 1 - end.size());
    for (size_t i = 0; i < stamp.size(); ++i) {
        bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        bool dash = stamp[i] == '-' && (i == 8 || i == 15);
        if (!digit && !dash) {
            return false;
        }
    }
    return stamp.size() >= 15 && stamp[8] == '-' && (stamp.size() == 15 || stamp[15] == '-');
}

}  // namespace

std::vector<std::filesystem::path> HeldList::clear_asides() {
    // Held: no other ringlist writes this list now, so what is aside is a killed run's.
    std::vector<std::filesystem::path> removed;
    std::error_code ec;
    std::filesystem::path target =
        std::filesystem::is_symlink(path_, ec) ? std::filesystem::canonical(path_, ec) : path_;
    std::vector<std::filesystem::path> asides;
    if (!ec) {
        asides.push_back(target.parent_path() /
                         core::utf8_path(core::path_utf8(target.filename()) + ".new"));
    }
    std::filesystem::path folder = path_.parent_path().empty() ? "." : path_.parent_path();
    std::string list = core::path_utf8(path_.filename());
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (backup_aside_of(list, core::path_utf8(it->path().filename()))) {
            asides.push_back(it->path());
        }
    }
    for (const std::filesystem::path& aside : asides) {
        std::error_code gone;
        if (std::filesystem::is_regular_file(std::filesystem::symlink_status(aside, gone)) &&
            std::filesystem::remove(aside, gone)) {
            removed.push_back(aside);
        }
    }
    return removed;
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
    for (const std::filesystem::path& aside : list.clear_asides()) {
        out << "Удален недописанный файл прерванной записи: " << core::path_utf8(aside) << "\n";
    }
    campaign::ListReview review = campaign::review_list(list.bytes());
    if (!review.faults.empty()) {
        out << "Список " << core::path_utf8(path) << " с ошибками, он не изменен:\n";
        for (const campaign::ListFault& f : review.faults) {
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
