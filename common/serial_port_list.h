#pragma once

#include <string>
#include <vector>

namespace core {

// The serial ports this system really has: USB adapters (ttyUSB*, ttyACM*), their stable
// names under serial/by-id, and the ttyS* with a UART behind them (not the phantom ones the
// kernel always makes). The folders can be replaced for tests.
std::vector<std::string> list_serial_ports(const std::string& dev = "/dev",
                                           const std::string& sys_tty = "/sys/class/tty");

// What to tell an operator whose user may not open device: the group that owns it and the
// command that adds the user to it. Empty where nothing better can be said.
std::string port_access_advice(const std::string& device);

// Why a port did not open, with what helps: the advice when access is refused, the ports the
// system has when the name does not exist.
std::string port_open_reason(const std::string& device, int error);

}  // namespace core
