#include "files/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/system_reason.h"

namespace core {

namespace {

std::string refusal_of_mode(bool regular, bool folder) {
    if (regular) {
        return "";
    }
    return folder ? system_reason(EISDIR) : NOT_A_FILE;
}

}  // namespace

#ifdef _WIN32

std::FILE* open_regular(const std::filesystem::path& path, const char* mode, std::string& error) {
    error = regular_file_refusal(path);
    if (!error.empty()) {
        return nullptr;
    }
    std::FILE* file =
        _wfopen(path.wstring().c_str(), std::wstring(mode, mode + std::strlen(mode)).c_str());
    if (file == nullptr) {
        error = system_reason(errno);
    }
    return file;
}

std::string regular_file_refusal(const std::filesystem::path& path) {
    struct _stat64 info {};
    if (_wstat64(path.wstring().c_str(), &info) != 0) {
        return system_reason(errno);
    }
    return refusal_of_mode((info.st_mode & _S_IFMT) == _S_IFREG,
                           (info.st_mode & _S_IFMT) == _S_IFDIR);
}

#else

std::FILE* open_regular(const std::filesystem::path& path, const char* mode, std::string& error) {
    bool writes = std::strchr(mode, '+') != nullptr;
    // Non-blocking, so that a FIFO with no writer is refused at once instead of hanging here.
    int fd = ::open(path.c_str(), (writes ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = system_reason(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = system_reason(errno);
        ::close(fd);
        return nullptr;
    }
    error = refusal_of_mode(S_ISREG(info.st_mode), S_ISDIR(info.st_mode));
    int flags = error.empty() ? ::fcntl(fd, F_GETFL) : -1;
    if (error.empty() && (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) {
        error = system_reason(errno);
    }
    std::FILE* file = error.empty() ? ::fdopen(fd, mode) : nullptr;
    if (file == nullptr) {
        if (error.empty()) {
            error = system_reason(errno);
        }
        ::close(fd);
    }
    return file;
}

std::string regular_file_refusal(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return system_reason(errno);
    }
    return refusal_of_mode(S_ISREG(info.st_mode), S_ISDIR(info.st_mode));
}

#endif

std::string read_regular_file(const std::filesystem::path& path, std::string& error,
                              std::uintmax_t limit) {
    std::FILE* file = open_regular(path, "rb", error);
    if (file == nullptr) {
        return {};
    }
    std::string bytes;
    // Room for the whole file at once: a big export is never held twice while it grows.
    std::error_code ec;
    std::uintmax_t expected = std::filesystem::file_size(path, ec);
    if (!ec) {
        bytes.reserve(static_cast<size_t>(std::min(expected, limit)));
    }
    char buffer[65536];
    for (;;) {
        std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
        if (got > 0 && bytes.size() + got > limit) {
            error = "файл слишком велик";
            bytes.clear();
            break;
        }
        bytes.append(buffer, got);
        if (got < sizeof buffer) {
            if (std::ferror(file) != 0) {
                error = system_reason(errno);
                bytes.clear();
            }
            break;
        }
    }
    if (std::fclose(file) != 0 && error.empty()) {
        error = system_reason(errno);
        bytes.clear();
    }
    return bytes;
}

}  // namespace core
