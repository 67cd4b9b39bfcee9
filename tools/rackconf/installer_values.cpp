#include "rackconf/installer_values.h"

namespace rackconf {

namespace {

const std::string MARK = " --installer ";

}  // namespace

bool installer_tail(const std::string& command_line, std::string& tail) {
    size_t at = command_line.find(MARK);
    if (at == std::string::npos) {
        return false;
    }
    tail = command_line.substr(at + MARK.size());
    return true;
}

std::string split_installer_values(const std::string& value, InstallerValues& values) {
    size_t bar = value.find('|');
    if (bar == std::string::npos) {
        return "--installer: нужно ПОРТ|ПАПКА, а не '" + value + "'";
    }
    values.port = value.substr(0, bar);
    values.root = value.substr(bar + 1);
    return "";
}

}  // namespace rackconf
