#pragma once

#include <string>

namespace core {

// Why the system refused, in the operator's words: the common reasons in Russian, anything
// else in the system's own text.
std::string system_reason(int error);

// The reason given when another program holds a file or a port.
const char* const FILE_BUSY = "занят другой программой";

}  // namespace core
