// rackprobe: asks each address K1..K8 for its select reply and line status, and prints what
// answered. It changes nothing on the boards (no mode is stopped or written), so a maintainer
// can check the wiring of a rack while it serves its lines.

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/board_line.h"
#include "base/option_rows.h"
#include "base/program_process.h"
#include "link/commands.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "link/serial_port_list.h"
#include "time/real_clock.h"
#include "time/virtual_clock.h"

namespace {

enum Option { PORT, SIMULATE, TRACE, LIST_PORTS, HELP };

// In the order of enum Option.
const std::vector<core::OptionRow> OPTIONS = {
    {"--port", "NAME", "последовательный порт (по умолчанию /dev/ttyS0, в Windows COM1)"},
    {"--simulate", "RACKFILE", "имитатор стойки в этом же процессе, в виртуальном времени"},
    {"--trace", "FILE", "записать все байты линии с временем"},
    {"--list-ports", nullptr, "перечислить последовательные порты системы и выйти"},
    {"--help", nullptr, "эта справка"},
};

std::string usage() {
    return "Использование: rackprobe [--port NAME | --simulate RACKFILE] [--trace FILE] | "
           "--list-ports\n"
           "\n"
           "Опрос адресов K1..K8 без изменения режимов плат: для каждого адреса\n"
           "байт выбора, состояние линии и отключение от шины.\n"
           "\n" +
           core::options_help(OPTIONS, 22);
}

void list_ports() {
    std::vector<std::string> ports = core::list_serial_ports();
    for (const std::string& port : ports) {
        std::cout << port << "\n";
    }
    if (ports.empty()) {
        std::cerr << "rackprobe: последовательных портов в системе не найдено\n";
    }
}

const char* mode_name(uint8_t mode) {
    switch (mode) {
        case core::MODE_INFORMER:
            return "Автоинформатор";
        case core::MODE_RING:
            return "Прозвонка";
        case core::MODE_TIME:
            return "Служба времени";
        case core::MODE_DTMF:
            return "Прием DTMF";
        default:
            return "Неверный режим";
    }
}

// A reply byte as the table shows it: 0x4A.
std::string hex(uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

void probe(core::Link& link) {
    std::cout << "канал  ответ  линия  режим\n";
    for (uint8_t address = 0; address < core::CHANNEL_COUNT; ++address) {
        link.send_select(address);
        if (!link.read_reply()) {
            std::cout << "K" << address + 1 << "     -      -      нет ответа\n";
            continue;
        }
        uint8_t reply = link.OGD();
        if ((reply & core::REPLY_ADDRESS_MASK) != address) {
            std::cout << "K" << address + 1 << "     " << hex(reply)
                      << "   -      ошибка адреса: отвечает адрес "
                      << (reply & core::REPLY_ADDRESS_MASK) << "\n";
            continue;
        }
        link.send_byte(core::CMD_LINE_STATUS);
        bool line_read = link.read_reply();
        uint8_t line = link.OGD();
        link.send_byte(core::CMD_END);
        link.read_reply();
        std::cout << "K" << address + 1 << "     " << hex(reply) << "   "
                  << (!line_read                                      ? "-    "
                      : (line & core::LINE_MASK) == core::LINE_ABSENT ? "нет  "
                                                                      : "есть ")
                  << "  " << mode_name(reply & core::REPLY_MODE_MASK)
                  << ((reply & core::REPLY_BUSY) != 0 ? " (занята)" : "") << "\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    program::use_utf8_console();
    std::vector<std::string> args = program::utf8_arguments(argc, argv);
    std::string port_name = core::default_port_name();
    std::string rack_file;
    std::string trace_file;
    core::OptionsRead read = core::read_options(
        OPTIONS, std::vector<std::string>(args.begin() + (args.empty() ? 0 : 1), args.end()), true);
    // --help and --list-ports act where they stand, before anything after them is looked at.
    for (const core::OptionFound& found : read.found) {
        switch (found.row) {
            case HELP:
                std::cout << usage();
                return 0;
            case LIST_PORTS:
                list_ports();
                return 0;
            case PORT:
                port_name = found.value;
                break;
            case SIMULATE:
                rack_file = found.value;
                break;
            case TRACE:
                trace_file = found.value;
                break;
        }
    }
    if (read.fault != core::OptionFault::none) {
        std::cerr << "rackprobe: неверный параметр '" << read.argument << "'\n" << usage();
        return 2;
    }

    core::RealClock real_clock;
    core::VirtualClock virtual_clock;
    core::Clock& clock = rack_file.empty() ? static_cast<core::Clock&>(real_clock)
                                           : static_cast<core::Clock&>(virtual_clock);
    program::LineChoice choice{rack_file, port_name, trace_file};
    choice.go_on_without_port = false;
    program::BoardLine line = program::open_board_line(choice, clock);
    switch (line.fault) {
        case program::BoardLine::Fault::none:
            break;
        case program::BoardLine::Fault::rack_file:
            std::cerr << "rackprobe: " << line.fault_text << "\n";
            return 2;
        case program::BoardLine::Fault::port:
            std::cerr << "rackprobe: " << line.fault_text << "\n";
            return 1;
        case program::BoardLine::Fault::trace_file:
            std::cerr << "rackprobe: " << trace_file << ": " << line.fault_text << "\n";
            return 2;
    }
    core::Link& link = *line.link;
    link.set_report([](const std::string& text) { std::cerr << text << "\n"; });
    probe(link);
    return link.device_lost() ? 1 : 0;
}
