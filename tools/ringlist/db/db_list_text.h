#pragma once

#include <cstdint>
#include <string>

#include "campaign/db/db_record.h"

namespace ringlist {

// A record's line from the database: the campaign layer's, shared with Dialrun.
using campaign::db_record_line;

// Bytes as hexadecimal digits and back, for the bytes after a list's last record, which
// need not be text: they go to a bytea column through decode() and encode().
std::string to_hex(const std::string& bytes);
std::string from_hex(const std::string& hex);

}  // namespace ringlist
