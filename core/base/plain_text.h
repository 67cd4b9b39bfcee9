#pragma once

#include <string>

namespace core {

// The text without the blanks, tabs and carriage returns around it.
std::string trimmed(const std::string& text);

// The text on one line, each line break written "\n": one event, one line, whatever it says.
std::string one_line(const std::string& text);

// A whole number from low to high, written as nothing but its digits.
bool whole_number(const std::string& value, long low, long high, long& number);

}  // namespace core
