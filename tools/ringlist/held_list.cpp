#include "held_list.h"

#include <cerrno>
#include <ctime>

#include "clock.h"
#include "durable_file.h"
#include "system_reason.h"
#include "utf8_text.h"

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
        bytes_.append(block, n);
    }
    if (std::ferror(file_)) {
        return core::system_reason(errno);
    }
    return {};
}

std::string write_new_file(const std::filesystem::path& path, const std::string& bytes) {
#ifdef _WIN32
    std::FILE* file = _wfopen(path.wstring().c_str(), L"wbx");
#else
    std::FILE* file = std::fopen(path.c_str(), "wbx");
#endif
    if (file == nullptr) {
        return core::path_utf8(path.filename()) + ": " + core::system_reason(errno);
    }
    std::string error = core::write_durably_and_close(file, bytes);
    if (!error.empty()) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return core::path_utf8(path.filename()) + ": " + error;
    }
    return {};
}

std::string file_stamp() {
    return core::format_local_time(core::local_time_at(std::time(nullptr)), "%Y%m%d-%H%M%S");
}

namespace {

// The new list takes the old one's owner and mode, so Dialrun's user can still mark it.
std::string keep_owner_and_mode(std::FILE* old_file, const std::filesystem::path& fresh) {
#ifdef _WIN32
    (void)old_file;
    (void)fresh;
    return {};
#else
    struct stat old_stat {};
    if (::fstat(fileno(old_file), &old_stat) != 0) {
        return core::system_reason(errno);
    }
    if (::chmod(fresh.c_str(), old_stat.st_mode & 07777) != 0) {
        return core::system_reason(errno);
    }
    struct stat fresh_stat {};
    bool same_owner = ::stat(fresh.c_str(), &fresh_stat) == 0 &&
                      fresh_stat.st_uid == old_stat.st_uid && fresh_stat.st_gid == old_stat.st_gid;
    if (!same_owner && ::chown(fresh.c_str(), old_stat.st_uid, old_stat.st_gid) != 0) {
        return core::system_reason(errno);
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
    std::filesystem::path folder = path_.parent_path();
    if (!backup_name.empty()) {
        std::string error = write_new_file(folder / core::utf8_path(backup_name), bytes_);
        if (!error.empty()) {
            return "копия не записана: " + error;
        }
    }
    std::filesystem::path fresh =
        folder / core::utf8_path(core::path_utf8(path_.filename()) + ".new");
    std::error_code ec;
    std::filesystem::remove(fresh, ec);  // left by an earlier run that was cut short
    std::string error = write_new_file(fresh, bytes);
    if (error.empty()) {
        error = keep_owner_and_mode(file_, fresh);
    }
#ifdef _WIN32
    // Windows renames nothing over a file that is open: let go of it at the last moment.
    if (error.empty()) {
        std::fclose(file_);
        file_ = nullptr;
    }
#endif
    if (error.empty()) {
        error = rename_over(fresh, path_);
    }
    if (!error.empty()) {
        std::filesystem::remove(fresh, ec);
        return "список не заменен: " + error;
    }
    bytes_ = bytes;
    error = core::sync_folder(folder);
    return error.empty() ? error : "список заменен, но папка не записана на диск: " + error;
}

}  // namespace ringlist
