#pragma once

#include <string>

namespace core {

// The status while a board plays its phonemes back: the first digit of the channel number.
inline std::string check_status(int current_channel) {
    return " Контрольное прослушивание фонем канала K" +
           std::to_string(current_channel + 1).substr(0, 1);
}

}  // namespace core
