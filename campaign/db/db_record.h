#pragma once

#include <string>

namespace campaign {

// A record of Ring.TXT as the database keeps it: number, amount, mark, and the line comes
// back byte for byte from them.
std::string db_record_line(const std::string& number, long long amount, char mark);

}  // namespace campaign
