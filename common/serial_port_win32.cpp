#include <windows.h>

#include "serial_port.h"

namespace core {

namespace {

std::string windows_reason(DWORD error) {
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) {
        text[--n] = 0;
    }
    return n > 0 ? std::string(text, n) : "ошибка " + std::to_string(error);
}

class Win32SerialPort : public Transport {
  public:
    Win32SerialPort(std::string name, HANDLE handle, const Clock& clock)
        : name_(std::move(name)), handle_(handle), clock_(clock) {}
    ~Win32SerialPort() override { CloseHandle(handle_); }

    std::string name() const override { return name_; }

    std::string write_byte(uint8_t value) override {
        DWORD written = 0;
        if (!WriteFile(handle_, &value, 1, &written, nullptr)) {
            return windows_reason(GetLastError());
        }
        return written == 1 ? std::string() : "запись не прошла";
    }

    ReadResult read_byte(Duration deadline) override {
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - clock_.now() + std::chrono::microseconds(999));
            DWORD wait_ms = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
            // MAXDWORD interval and multiplier with a constant: return as soon as one byte
            // is there, or after the constant.
            COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, wait_ms == 0 ? 1 : wait_ms, 0, 0};
            if (!SetCommTimeouts(handle_, &timeouts)) {
                return ReadResult::lost(windows_reason(GetLastError()));
            }
            uint8_t b = 0;
            DWORD n = 0;
            if (!ReadFile(handle_, &b, 1, &n, nullptr)) {
                return ReadResult::lost(windows_reason(GetLastError()));
            }
            if (n == 1) {
                return ReadResult::byte(b);
            }
            if (clock_.now() >= deadline) {
                return ReadResult::timeout();
            }
        }
    }

    std::vector<uint8_t> discard_input() override {
        std::vector<uint8_t> dropped;
        COMSTAT status{};
        DWORD errors = 0;
        if (ClearCommError(handle_, &errors, &status) && status.cbInQue > 0) {
            COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};  // return at once with what is there
            SetCommTimeouts(handle_, &timeouts);
            dropped.resize(status.cbInQue);
            DWORD n = 0;
            if (!ReadFile(handle_, dropped.data(), status.cbInQue, &n, nullptr)) {
                n = 0;
            }
            dropped.resize(n);
        }
        PurgeComm(handle_, PURGE_RXCLEAR);
        return dropped;
    }

  private:
    std::string name_;
    HANDLE handle_;
    const Clock& clock_;
};

}  // namespace

std::string default_port_name() {
    return "COM1";
}

OpenedPort open_serial_port(const std::string& name, const Clock& clock) {
    // The \\.\ prefix also reaches COM10 and above.
    std::string path = name.rfind("\\\\.\\", 0) == 0 ? name : "\\\\.\\" + name;
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {nullptr, windows_reason(GetLastError())};
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        DWORD error = GetLastError();
        CloseHandle(handle);
        return {nullptr, windows_reason(error)};
    }
    dcb.BaudRate = CBR_9600;
    dcb.fBinary = TRUE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!SetCommState(handle, &dcb)) {
        DWORD error = GetLastError();
        CloseHandle(handle);
        return {nullptr, windows_reason(error)};
    }
    return {std::make_unique<Win32SerialPort>(name, handle, clock), {}};
}

}  // namespace core
