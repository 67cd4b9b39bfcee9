#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// One board of a rack file line, e.g. "K2 ring line busy=3 results=1,2,0".
struct BoardSetup {
    int address = 0;                  // 0..7 for K1..K8
    uint8_t mode = 0;                 // bits 4-6 of the select reply
    uint8_t line = 0;                 // reply to CMD_LINE_STATUS
    int busy = 2;                     // ring-round: busy selects after each number
    std::vector<uint8_t> results{1};  // replies to CMD_RESULT, the last repeating
    std::vector<std::array<uint8_t, 4>> codes{{1, 2, 3, 4}};  // each caller's four keys
    int ring = 2;                      // DTMF: selects answered "waiting for a ring" after arming
    int dial = 2;                      // DTMF: selects answered "dialling"; -1 is forever
    int phrase = 1;                    // DTMF: busy selects after each phrase
    std::vector<uint8_t> messages{1};  // replies to CMD_WAIT_MESSAGE, the last repeating
    double message_time = 0;           // seconds before that reply
    std::optional<double> play_time;   // seconds CMD_PLAY_ALL takes
    std::optional<int> silent_after;   // answers this many bytes, then nothing
    std::optional<int> echo;           // select replies carry this address instead
    std::optional<int> late;           // the reply to this byte (1-based) comes too late
    // Hears and answers nothing from the first second to the second (the rack's clock, from
    // its start), then is back as after a power cut: off the bus, out of its service.
    std::optional<std::pair<double, double>> silent_between;
};

constexpr int DIAL_FOREVER = -1;

struct RackSetup {
    std::array<std::optional<BoardSetup>, 8> boards;
};

struct RackParse {
    bool ok = false;
    RackSetup rack;
    std::string error;  // names the file, the line and what is wrong
};

RackParse parse_rack_text(const std::string& text, const std::string& file_name);
RackParse load_rack_file(const std::string& path);

}  // namespace sim
