#pragma once

#include <string>
#include <vector>

namespace core {

// The serial ports this system really has: USB adapters (ttyUSB*, ttyACM*), their stable
// names under serial/by-id, and the ttyS* with a UART behind them (not the phantom ones the
// kernel always makes). The folders can be replaced for tests.
std::vector<std::string> list_serial_ports(const std::string& dev = "/dev",
                                           const std::string& sys_tty = "/sys/class/tty");

// What is known of a port that refused the user.
struct PortAccess {
    std::string group;  // the device's group
    unsigned group_id = 0;
    bool group_can_read_write = false;  // its mode gives the group both
    std::string user;
    bool in_group_now = false;         // among this process's groups
    bool in_group_configured = false;  // among the user's groups at the next login
};

// What to tell an operator whose user may not open a port: the group to join and the command,
// only where joining gives access (the group may read and write, is not root's, and the user
// is not already in it); to log in again where the user was added but it is not in force yet;
// else that only an administrator can give access.
std::string port_access_advice(const PortAccess& access);
// The same for a device, from its owner and mode and the user's groups. Empty where nothing
// can be known.
std::string port_access_advice(const std::string& device);

// Why a port did not open, with what helps: the advice when access is refused, the ports the
// system has when the name does not exist.
std::string port_open_reason(const std::string& device, int error);

// "порты в системе: /dev/ttyS0 /dev/ttyUSB0", or that there are none.
std::string ports_in_system_text();

}  // namespace core
