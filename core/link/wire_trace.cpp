#include "link/wire_trace.h"

#include <cerrno>
#include <cstring>

#include "base/system_reason.h"
#include "base/utf8_text.h"

namespace core {

WireTrace::~WireTrace() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::string WireTrace::open(const std::string& path) {
    std::lock_guard lock(mutex_);
    // Binary: the same bytes, LF line ends, on every system.
#ifdef _WIN32
    file_ = _wfopen(to_utf16(path).c_str(), L"wb");
#else
    file_ = std::fopen(path.c_str(), "wb");
#endif
    return file_ == nullptr ? system_reason(errno) : std::string();
}

std::string WireTrace::stamp() const {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now()).count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

void WireTrace::write_byte_line(char direction, uint8_t value) {
    std::lock_guard lock(mutex_);
    if (file_ == nullptr) {
        return;
    }
    // Flushed line by line: the trace is most wanted after a run that went wrong.
    std::fprintf(file_, "%s %c %02X\n", stamp().c_str(), direction, value);
    std::fflush(file_);
}

void WireTrace::play(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (file_ == nullptr) {
        return;
    }
    std::fprintf(file_, "%s play %s\n", stamp().c_str(), path.c_str());
    std::fflush(file_);
}

}  // namespace core
