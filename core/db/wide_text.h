#pragma once

#include <string>

namespace core {

// ODBC's wide text is UTF-16 on every system (SQLWCHAR is 16 bits on unixODBC and Windows);
// ours is UTF-8. False for bytes that are not UTF-8: they are never sent half-read.
bool utf8_to_utf16(const std::string& text, std::u16string& wide);
std::string utf16_to_utf8(const std::u16string& wide);

}  // namespace core
