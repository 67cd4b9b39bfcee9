// rackprobe: asks each address K1..K8 for its select reply and line status, and prints what
// answered. It changes nothing on the boards (no mode is stopped or written), so a maintainer
// can check the wiring of a rack while it serves its lines.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/program_process.h"
#include "link/commands.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "link/serial_port_list.h"
#include "sim/board_line.h"
#include "time/real_clock.h"
#include "time/virtual_clock.h"

namespace {

const char* const USAGE =
    "Использование: rackprobe [--port NAME | --simulate RACKFILE] [--trace FILE] | --list-ports\n"
    "\n"
    "Опрос адресов K1..K8 без изменения режимов плат: для каждого адреса\n"
    "байт выбора, состояние линии и отключение от шины.\n"
    "\n"
    "  --port NAME         последовательный порт (по умолчанию /dev/ttyS0, в Windows COM1)\n"
    "  --simulate RACKFILE имитатор стойки в этом же процессе, в виртуальном времени\n"
    "  --trace FILE        записать все байты линии с временем\n"
    "  --list-ports        перечислить последовательные порты системы и выйти\n"
    "  --help              эта справка\n";

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

void probe(core::Link& link) {
    std::printf("канал  ответ  линия  режим\n");
    for (uint8_t address = 0; address < core::CHANNEL_COUNT; ++address) {
        link.send_select(address);
        if (!link.read_reply()) {
            std::printf("K%d     -      -      нет ответа\n", address + 1);
            continue;
        }
        uint8_t reply = link.OGD();
        if ((reply & core::REPLY_ADDRESS_MASK) != address) {
            std::printf("K%d     0x%02X   -      ошибка адреса: отвечает адрес %d\n", address + 1,
                        reply, reply & core::REPLY_ADDRESS_MASK);
            continue;
        }
        link.send_byte(core::CMD_LINE_STATUS);
        bool line_read = link.read_reply();
        uint8_t line = link.OGD();
        link.send_byte(core::CMD_END);
        link.read_reply();
        std::printf("K%d     0x%02X   %s  %s%s\n", address + 1, reply,
                    !line_read                                      ? "-    "
                    : (line & core::LINE_MASK) == core::LINE_ABSENT ? "нет  "
                                                                    : "есть ",
                    mode_name(reply & core::REPLY_MODE_MASK),
                    (reply & core::REPLY_BUSY) != 0 ? " (занята)" : "");
    }
}

}  // namespace

int main(int argc, char** argv) {
    program::use_utf8_console();
    std::vector<std::string> args = program::utf8_arguments(argc, argv);
    std::string port_name = core::default_port_name();
    std::string rack_file;
    std::string trace_file;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help") {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (arg == "--list-ports") {
            std::vector<std::string> ports = core::list_serial_ports();
            for (const std::string& port : ports) {
                std::printf("%s\n", port.c_str());
            }
            if (ports.empty()) {
                std::fprintf(stderr, "rackprobe: последовательных портов в системе не найдено\n");
            }
            return 0;
        }
        if ((arg == "--port" || arg == "--simulate" || arg == "--trace") && i + 1 < args.size()) {
            (arg == "--port"       ? port_name
             : arg == "--simulate" ? rack_file
                                   : trace_file) = args[++i];
            continue;
        }
        std::fprintf(stderr, "rackprobe: неверный параметр '%s'\n%s", arg.c_str(), USAGE);
        return 2;
    }

    core::RealClock real_clock;
    core::VirtualClock virtual_clock;
    core::Clock& clock = rack_file.empty() ? static_cast<core::Clock&>(real_clock)
                                           : static_cast<core::Clock&>(virtual_clock);
    sim::LineChoice choice{rack_file, port_name, trace_file};
    choice.go_on_without_port = false;
    sim::BoardLine line = sim::open_board_line(choice, clock);
    switch (line.fault) {
        case sim::BoardLine::Fault::none:
            break;
        case sim::BoardLine::Fault::rack_file:
            std::fprintf(stderr, "rackprobe: %s\n", line.fault_text.c_str());
            return 2;
        case sim::BoardLine::Fault::port:
            std::fprintf(stderr, "rackprobe: %s\n", line.fault_text.c_str());
            return 1;
        case sim::BoardLine::Fault::trace_file:
            std::fprintf(stderr, "rackprobe: %s: %s\n", trace_file.c_str(),
                         line.fault_text.c_str());
            return 2;
    }
    core::Link& link = *line.link;
    link.set_report([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    probe(link);
    return link.device_lost() ? 1 : 0;
}
