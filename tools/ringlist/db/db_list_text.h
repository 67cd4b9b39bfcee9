#pragma once

#include <cstdint>
#include <string>

namespace ringlist {

// A record of Ring.TXT as the database keeps it: number, amount, mark, and the line comes
// back byte for byte from them.
std::string db_record_line(const std::string& number, long long amount, char mark);

// Bytes as hexadecimal digits and back, for the bytes after a list's last record, which
// need not be text: they go to a bytea column through decode() and encode().
std::string to_hex(const std::string& bytes);
std::string from_hex(const std::string& hex);

}  // namespace ringlist
