#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "time/clock.h"

namespace station {

// One file of an upload: its path as the program names it, and the log line before it.
struct PhonemeFile {
    std::string path;
    std::string log_line;  // "" for none
};

// A part of the board's phoneme memory: header (code, count), the phonemes, each framed by
// the count byte, and for some sections a closing pair after them.
struct UploadSection {
    uint8_t code = 0;
    uint8_t count = 0;
    std::vector<PhonemeFile> files;
    std::string title;  // logged before the header, "" for none
    std::optional<std::array<uint8_t, 2>> closing;
};

// Everything that makes one program's upload its own: an upload is a short description.
struct UploadTable {
    std::string status_prefix;  // + the channel number
    std::string title_line;
    std::string end_line;
    core::Duration select_pause{0};   // before and after the select byte
    core::Duration phoneme_pause{0};  // before a phoneme
    bool pause_before_first_only = false;
    core::Duration section_pause{0};  // before every section after the first
    std::vector<UploadSection> sections;
    uint8_t mode_number = 0;
    // The time-service upload names its steps and waits before releasing the board.
    std::string connect_line;
    std::string reset_line;
    std::string mode_line;
    std::string release_line;
    core::Duration release_pause{0};
    // Whether a failed select is logged as the newest line (the time-service upload only
    // appends it).
    bool select_failure_selected = true;
};

}  // namespace station
