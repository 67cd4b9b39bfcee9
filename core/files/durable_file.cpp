#include "files/durable_file.h"

#include <cerrno>
#include <cstring>
#include <thread>

#ifdef _WIN32
#include <windows.h>

#include <io.h>
#include <share.h>
#include <stdlib.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/utf8_text.h"
#include "files/regular_file.h"

namespace core {

std::FILE* open_exclusive(const std::filesystem::path& path, const char* mode, std::string& error,
                          bool wait) {
    // Waiting is bounded: a holder that never lets go is reported, not waited for.
    const int attempts = wait ? 250 : 1;
    for (int attempt = 1;; ++attempt) {
#ifdef _WIN32
        std::error_code ec;
        if (std::filesystem::exists(path, ec) || ec) {
            error = regular_file_refusal(path);
            if (!error.empty()) {
                return nullptr;
            }
        }
        std::FILE* file =
            _wfsopen(path.wstring().c_str(), std::wstring(mode, mode + std::strlen(mode)).c_str(),
                     _SH_DENYWR);
        if (file != nullptr) {
            return file;
        }
        // The C runtime says EACCES both for a file another program holds and for one this
        // user may not write: only the first is worth waiting for.
        bool busy = _doserrno == ERROR_SHARING_VIOLATION || _doserrno == ERROR_LOCK_VIOLATION;
#else
        std::FILE* file = open_regular(path, mode, error);
        if (file == nullptr) {
            return nullptr;
        }
        if (::flock(fileno(file), LOCK_EX | LOCK_NB) == 0) {
            return file;
        }
        bool busy = errno == EWOULDBLOCK;
        int reason = errno;
        std::fclose(file);
        errno = reason;
#endif
        if (!busy || attempt >= attempts) {
            error = busy ? FILE_BUSY : system_reason(errno);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string sync_to_disk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return system_reason(errno);
    }
#ifdef _WIN32
    // _commit is FlushFileBuffers: each write reaches the disk. Windows has no folder sync.
    if (_commit(_fileno(file)) != 0) {
        return system_reason(errno);
    }
#else
    if (::fdatasync(fileno(file)) != 0) {
        return system_reason(errno);
    }
#endif
    return {};
}

std::string write_durably_and_close(std::FILE* file, const std::string& bytes) {
    std::string error;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        error = system_reason(errno);
    }
    if (error.empty()) {
        error = sync_to_disk(file);
    }
    if (std::fclose(file) != 0 && error.empty()) {
        error = system_reason(errno);
    }
    return error;
}

std::string drop_unfinished_line(std::FILE* file, long longest) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return system_reason(errno);
    }
    long size = std::ftell(file);
    if (size <= 0) {
        return size < 0 ? system_reason(errno) : std::string();
    }
    long from = size > longest ? size - longest : 0;
    std::string tail(static_cast<size_t>(size - from), '\0');
    if (std::fseek(file, from, SEEK_SET) != 0 ||
        std::fread(tail.data(), 1, tail.size(), file) != tail.size()) {
        return system_reason(errno);
    }
    size_t last = tail.rfind('\n');
    long keep = last == std::string::npos ? 0 : from + static_cast<long>(last) + 1;
    bool unfinished = keep < size && (last != std::string::npos || from == 0);
    // Back to the end either way: a stream read from must be positioned before it is written.
    if (std::fseek(file, unfinished ? keep : 0, unfinished ? SEEK_SET : SEEK_END) != 0) {
        return system_reason(errno);
    }
    if (!unfinished) {
        return {};
    }
#ifdef _WIN32
    int failed = _chsize_s(_fileno(file), keep);
    if (failed != 0) {
        return system_reason(failed);
    }
#else
    if (::ftruncate(fileno(file), keep) != 0) {
        return system_reason(errno);
    }
#endif
    return {};
}

namespace {
std::FILE* open_append_file(const std::filesystem::path& path, unsigned mode, std::string& error);
}  // namespace

std::string append_lines(const std::filesystem::path& path, const std::string& lines, long longest,
                         unsigned mode) {
    std::error_code ec;
    bool created = !std::filesystem::exists(path, ec);
    std::string error;
    if (created && mode != 0) {
        std::FILE* made = open_append_file(path, mode, error);
        if (made == nullptr) {
            return error;
        }
        if (std::fclose(made) != 0) {
            return system_reason(errno);
        }
    }
    std::FILE* file = open_exclusive(path, "a+b", error, true);
    if (file == nullptr) {
        return error;
    }
    error = drop_unfinished_line(file, longest);
    if (!error.empty()) {
        std::fclose(file);
        return error;
    }
    error = write_durably_and_close(file, lines);
    // A new file's name must reach the disk too, or a power cut could keep what it backs
    // (a mark) and lose the file.
    if (created && error.empty()) {
        error = sync_folder(path.parent_path());
    }
    return error;
}

std::string read_file_bytes(const std::filesystem::path& path, std::string& error) {
    return read_regular_file(path, error, LARGEST_INPUT);
}

namespace {

// Creates a file that is not there and writes it whole, under its own name: a kill meanwhile
// leaves it torn, so callers give it a name no reader takes for the real file.
std::string create_and_write(const std::filesystem::path& path, const std::string& bytes,
                             unsigned mode) {
#ifdef _WIN32
    (void)mode;
    std::FILE* file = _wfopen(path.wstring().c_str(), L"wbx");
#else
    // With a mode, nobody else may read the file before it has that mode.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode != 0 ? 0600 : 0666);
    if (fd >= 0 && mode != 0 && ::fchmod(fd, mode) != 0) {
        int reason = errno;
        ::close(fd);
        std::filesystem::remove(path);
        errno = reason;
        fd = -1;
    }
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && file == nullptr) {
        ::close(fd);
    }
#endif
    if (file == nullptr) {
        return path_utf8(path) + ": " + system_reason(errno);
    }
    std::string error = write_durably_and_close(file, bytes);
    if (!error.empty()) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return path_utf8(path) + ": " + error;
    }
    return {};
}

// Gives a written file its name, refusing one that is there, in one step.
std::string move_without_replacing(const std::filesystem::path& from,
                                   const std::filesystem::path& to) {
#ifdef _WIN32
    if (!MoveFileExW(from.wstring().c_str(), to.wstring().c_str(), MOVEFILE_WRITE_THROUGH)) {
        DWORD code = GetLastError();
        return system_reason(code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? EEXIST
                                                                                       : EIO);
    }
    return {};
#else
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return system_reason(errno);
    }
    // A file system without the flag: a second name, then the first one dropped.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return system_reason(errno);
    }
    return ::unlink(from.c_str()) == 0 ? "" : system_reason(errno);
#endif
}

}  // namespace

std::string write_new_file(const std::filesystem::path& path, const std::string& bytes,
                           unsigned mode) {
    // Written aside and then named, so that the name never stands for a torn file.
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        return path_utf8(path) + ": " + system_reason(EEXIST);
    }
    std::filesystem::path fresh =
        path.parent_path() / utf8_path(path_utf8(path.filename()) + ".new");
    std::filesystem::remove(fresh, ec);  // left by an earlier run that was cut short
    std::string error = create_and_write(fresh, bytes, mode);
    if (error.empty()) {
        error = move_without_replacing(fresh, path);
        if (!error.empty()) {
            std::filesystem::remove(fresh, ec);
            error = path_utf8(path) + ": " + error;
        }
    }
    return error;
}

std::string replace_file(const std::filesystem::path& path, const std::string& bytes,
                         unsigned mode) {
    std::filesystem::path fresh =
        path.parent_path() / utf8_path(path_utf8(path.filename()) + ".new");
    std::error_code ec;
    std::filesystem::remove(fresh, ec);  // left by an earlier run that was cut short
    std::string error = create_and_write(fresh, bytes, mode);
    if (error.empty()) {
        std::filesystem::rename(fresh, path, ec);
        error = ec ? path_utf8(path) + ": " + system_reason(ec.value())
                   : sync_folder(path.parent_path());
    }
    return error;
}

namespace {

// open_append, its failure said as the reason alone.
std::FILE* open_append_file(const std::filesystem::path& path, unsigned mode, std::string& error) {
#ifdef _WIN32
    (void)mode;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        std::string refusal = regular_file_refusal(path);
        if (!refusal.empty()) {
            error = refusal;
            return nullptr;
        }
    }
    std::FILE* file = _wfopen(path.wstring().c_str(), L"ab");
#else
    // A file made here gets mode before anything is in it; one that is there keeps its own.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC,
                    mode != 0 ? 0600 : 0666);
    if (fd < 0 && errno == EEXIST) {
        // One that is there must be a file: a FIFO would block the writer, a device swallow it.
        return open_regular(path, "ab", error);
    }
    if (fd >= 0 && mode != 0 && ::fchmod(fd, mode) != 0) {
        int reason = errno;
        ::close(fd);
        ::unlink(path.c_str());
        errno = reason;
        fd = -1;
    }
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "ab") : nullptr;
    if (fd >= 0 && file == nullptr) {
        ::close(fd);
    }
#endif
    if (file == nullptr) {
        error = system_reason(errno);
    }
    return file;
}

}  // namespace

std::FILE* open_append(const std::filesystem::path& path, unsigned mode, std::string& error) {
    std::FILE* file = open_append_file(path, mode, error);
    if (file == nullptr) {
        error = path_utf8(path) + ": " + error;
    }
    return file;
}

unsigned file_mode(const std::filesystem::path& path) {
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    return ec ? 0u : static_cast<unsigned>(status.permissions() & std::filesystem::perms::all);
}

std::string sync_folder(const std::filesystem::path& folder) {
#ifdef _WIN32
    (void)folder;
    return {};
#else
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return system_reason(errno);
    }
    std::string error = ::fsync(fd) == 0 ? std::string() : system_reason(errno);
    ::close(fd);
    return error;
#endif
}

}  // namespace core
