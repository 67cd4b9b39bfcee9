#pragma once

#include <string>

namespace rackconf {

// What keeps a port or a folder from going into the settings file so that every program reads
// it back as given: a line break or another control character, a blank at either end (the
// reader trims it), a quote (a path cannot hold one; in a command line "C:\Rack\" turns the
// closing quote into a character), "|" (it parts the port from the folder in --installer;
// no Windows name holds one), or "#" at the start or after a blank (the reader takes
// the rest for a comment). "" when nothing does.
std::string value_fault(const std::string& value);

}  // namespace rackconf
