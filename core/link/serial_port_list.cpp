#include "link/serial_port_list.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "base/system_reason.h"
#include "base/utf8_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace core {

namespace fs = std::filesystem;

#ifdef _WIN32
// Windows lists its COM ports in the registry; the folders mean nothing there.
std::vector<std::string> list_serial_ports(const std::string&, const std::string&) {
    std::vector<std::string> ports;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t value[256];
        DWORD name_size = 256;
        DWORD value_size = sizeof value;
        DWORD type = 0;
        if (RegEnumValueW(key, i, name, &name_size, nullptr, &type, reinterpret_cast<BYTE*>(value),
                          &value_size) != ERROR_SUCCESS) {
            break;
        }
        if (type == REG_SZ) {
            ports.push_back(from_utf16(value, wcsnlen(value, 256)));
        }
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end());
    return ports;
}
#else
namespace {

bool starts_with(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// /sys/class/tty/ttyS<n>/type holds the UART's type; 0 means no UART answers there.
bool has_uart(const std::string& sys_tty, const std::string& name) {
    std::ifstream type(fs::path(sys_tty) / name / "type");
    int value = 0;
    return type >> value && value != 0;
}

}  // namespace

std::vector<std::string> list_serial_ports(const std::string& dev, const std::string& sys_tty) {
    std::vector<std::string> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dev, ec)) {
        std::string name = entry.path().filename().string();
        if (starts_with(name, "ttyUSB") || starts_with(name, "ttyACM") ||
            (starts_with(name, "ttyS") && has_uart(sys_tty, name))) {
            ports.push_back(entry.path().string());
        }
    }
    for (const auto& entry : fs::directory_iterator(fs::path(dev) / "serial" / "by-id", ec)) {
        ports.push_back(entry.path().string());
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}
#endif

std::string port_access_advice(const PortAccess& a) {
    // Joining a group that cannot write the port, or root's, would give nothing but risk.
    if (!a.group_can_read_write || a.group_id == 0 || a.in_group_now) {
        return "доступ к этому порту может дать только администратор";
    }
    if (a.in_group_configured) {
        return "вы уже в группе " + a.group + ", но это еще не действует: войдите в систему заново";
    }
    return "порт принадлежит группе " + a.group + ": выполните sudo usermod -aG " + a.group + " " +
           a.user + " и войдите в систему заново";
}

std::string port_access_advice(const std::string& device) {
#ifdef _WIN32
    (void)device;
    return {};
#else
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        return {};
    }
    const group* owner = ::getgrgid(info.st_gid);
    const passwd* user = ::getpwuid(::geteuid());
    if (owner == nullptr || user == nullptr) {
        return {};
    }
    PortAccess a;
    a.group = owner->gr_name;
    a.group_id = info.st_gid;
    a.group_can_read_write = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    a.user = user->pw_name;
    // The groups in force for this process, and those the user will have at the next login.
    std::vector<gid_t> now(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
    now.resize(
        static_cast<size_t>(std::max(::getgroups(static_cast<int>(now.size()), now.data()), 0)));
    a.in_group_now =
        ::getegid() == info.st_gid || std::find(now.begin(), now.end(), info.st_gid) != now.end();
    int count = 64;
    std::vector<gid_t> configured(static_cast<size_t>(count));
    if (::getgrouplist(user->pw_name, user->pw_gid, configured.data(), &count) < 0) {
        configured.resize(static_cast<size_t>(count));
        ::getgrouplist(user->pw_name, user->pw_gid, configured.data(), &count);
    }
    configured.resize(static_cast<size_t>(std::max(count, 0)));
    a.in_group_configured =
        std::find(configured.begin(), configured.end(), info.st_gid) != configured.end();
    return port_access_advice(a);
#endif
}

std::string port_open_reason(const std::string& device, int error) {
    std::string reason = system_reason(error);
    if (error == EACCES || error == EPERM) {
        std::string advice = port_access_advice(device);
        return advice.empty() ? reason : reason + "; " + advice;
    }
    if (error == ENOENT) {
        return reason + "; " + ports_in_system_text();
    }
    return reason;
}

std::string ports_in_system_text() {
    std::vector<std::string> ports = list_serial_ports();
    if (ports.empty()) {
        return "последовательных портов в системе не найдено";
    }
    std::string text = "порты в системе:";
    for (const std::string& port : ports) {
        text += " " + port;
    }
    return text;
}

}  // namespace core
