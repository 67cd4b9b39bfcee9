#include <windows.h>

#include <cerrno>

#include "base/system_reason.h"
#include "base/utf8_text.h"
#include "link/serial_port.h"
#include "link/serial_port_list.h"

namespace core {

namespace {

// A blocked write (a line held by handshaking the rack does not do) fails within this.
constexpr DWORD WRITE_LIMIT_MS = 1000;

// The system's own text, as UTF-8 (not the ANSI code page).
std::string system_text(DWORD error) {
    wchar_t text[256] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, 256, nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) {
        text[--n] = 0;
    }
    if (n == 0) {
        return "ошибка " + std::to_string(error);
    }
    return from_utf16(text, n);
}

// The common reasons in the operator's words, as on POSIX; any other in the system's.
std::string windows_reason(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return system_reason(ENOENT);
        case ERROR_ACCESS_DENIED:
            return system_reason(EACCES);
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_BUSY:
            return FILE_BUSY;
        case ERROR_WRITE_PROTECT:
            return system_reason(EROFS);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return system_reason(ENOSPC);
        case ERROR_IO_DEVICE:
        case ERROR_GEN_FAILURE:
            return system_reason(EIO);
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BAD_UNIT:
        case ERROR_NOT_READY:
            return system_reason(ENODEV);
        case ERROR_DIRECTORY:
            return system_reason(EISDIR);
        default:
            return system_text(error);
    }
}

// Read time-outs for one call, the write limit kept in every call.
COMMTIMEOUTS timeouts_with(DWORD interval, DWORD multiplier, DWORD constant) {
    return COMMTIMEOUTS{interval, multiplier, constant, 0, WRITE_LIMIT_MS};
}

const char* const PORT_HELD = "порт занят другой программой или нет доступа";

// Windows refuses a second open of a COM port by itself; Wine does not. A named mutex per
// port, held while the port is open, keeps two of our programs off one port there too.
HANDLE claim_port(const std::string& path) {
    std::wstring name = L"boardrack-port-";
    for (char c : path.substr(path.find_last_of('\\') + 1)) {
        name += static_cast<wchar_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    HANDLE claim = CreateMutexW(nullptr, FALSE, name.c_str());
    if (claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(claim);
        return nullptr;
    }
    return claim;
}

class Win32SerialPort : public Transport {
  public:
    Win32SerialPort(std::string name, HANDLE handle, HANDLE claim, const Clock& clock)
        : name_(std::move(name)), handle_(handle), claim_(claim), clock_(clock) {}
    ~Win32SerialPort() override {
        CloseHandle(handle_);
        CloseHandle(claim_);
    }

    std::string name() const override { return name_; }

    std::string write_byte(uint8_t value) override {
        DWORD written = 0;
        if (!WriteFile(handle_, &value, 1, &written, nullptr)) {
            return windows_reason(GetLastError());
        }
        return written == 1 ? std::string() : "байт не передан за 1 с";
    }

    ReadResult read_byte(Duration deadline) override {
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - clock_.now() + std::chrono::microseconds(999));
            DWORD wait_ms = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
            // MAXDWORD interval and multiplier with a constant: return as soon as one byte
            // is there, or after the constant.
            COMMTIMEOUTS timeouts = timeouts_with(MAXDWORD, MAXDWORD, wait_ms == 0 ? 1 : wait_ms);
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
            COMMTIMEOUTS timeouts = timeouts_with(MAXDWORD, 0, 0);  // at once with what is there
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
    HANDLE claim_;
    const Clock& clock_;
};

}  // namespace

std::string default_port_name() {
    return "COM1";
}

OpenedPort open_serial_port(const std::string& name, const Clock& clock) {
    // The \\.\ prefix also reaches COM10 and above.
    std::string path = name.rfind("\\\\.\\", 0) == 0 ? name : "\\\\.\\" + name;
    HANDLE claim = claim_port(path);
    if (claim == nullptr) {
        return {nullptr, PORT_HELD};
    }
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        CloseHandle(claim);
        // A COM port another program has open answers "access denied"; a name the system
        // has no port for is answered with the ports it has.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return {nullptr, "нет такого порта; " + ports_in_system_text()};
        }
        return {nullptr, error == ERROR_ACCESS_DENIED ? PORT_HELD : windows_reason(error)};
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        DWORD error = GetLastError();
        CloseHandle(handle);
        CloseHandle(claim);
        return {nullptr, windows_reason(error)};
    }
    // Every field that decides the line, whatever another program left: 9600 8N1, no
    // handshaking of any kind, DTR and RTS raised as a POSIX open leaves them.
    dcb.BaudRate = CBR_9600;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    COMMTIMEOUTS timeouts = timeouts_with(MAXDWORD, 0, 0);
    if (!SetCommState(handle, &dcb) || !SetCommTimeouts(handle, &timeouts)) {
        DWORD error = GetLastError();
        CloseHandle(handle);
        CloseHandle(claim);
        return {nullptr, windows_reason(error)};
    }
    return {std::make_unique<Win32SerialPort>(name, handle, claim, clock), {}};
}

}  // namespace core
