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

bool appends(const char* mode) {
    return mode[0] == 'a';
}

// The size of an open regular file; -1 with errno set when it is not known.
long long open_file_size(std::FILE* file) {
#ifdef _WIN32
    struct _stat64 info {};
    return _fstat64(_fileno(file), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
#else
    struct stat info {};
    return ::fstat(fileno(file), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
#endif
}

}  // namespace

#ifdef _WIN32

std::FILE* open_regular(const std::filesystem::path& path, const char* mode, std::string& error) {
    error = regular_file_refusal(path);
    std::error_code ec;
    if (appends(mode) && !std::filesystem::exists(path, ec) && !ec) {
        error.clear();  // made by the open
    }
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
    // The C runtime finds no folder named with a final separator ("C:\\Temp\\").
    std::wstring name = path.wstring();
    while (name.size() > 3 && (name.back() == L'\\' || name.back() == L'/')) {
        name.pop_back();
    }
    struct _stat64 info {};
    if (_wstat64(name.c_str(), &info) != 0) {
        return system_reason(errno);
    }
    return refusal_of_mode((info.st_mode & _S_IFMT) == _S_IFREG,
                           (info.st_mode & _S_IFMT) == _S_IFDIR);
}

#else

std::FILE* open_regular(const std::filesystem::path& path, const char* mode, std::string& error) {
    bool both = std::strchr(mode, '+') != nullptr;
    int flags = both ? O_RDWR : appends(mode) ? O_WRONLY : O_RDONLY;
    if (appends(mode)) {
        flags |= O_APPEND | O_CREAT;
    }
    // Non-blocking, so that a FIFO with no writer (or no reader) is refused at once instead of
    // hanging here.
    int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        // ENXIO: a FIFO that no one reads, or a device that is not there.
        error = errno == ENXIO ? NOT_A_FILE : system_reason(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = system_reason(errno);
        ::close(fd);
        return nullptr;
    }
    error = refusal_of_mode(S_ISREG(info.st_mode), S_ISDIR(info.st_mode));
    int status = error.empty() ? ::fcntl(fd, F_GETFL) : -1;
    if (error.empty() && (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0)) {
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
    long long size = open_file_size(file);
    if (size < 0 || static_cast<std::uintmax_t>(size) > limit) {
        error = size < 0 ? system_reason(errno) : TOO_LARGE;
        std::fclose(file);
        return {};
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    char buffer[65536];
    for (;;) {
        std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
        if (got > 0 && bytes.size() + got > limit) {
            error = TOO_LARGE;
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
