#pragma once

#include <string>

namespace program {

// The text of a settings file with key set to value for every program: the line that sets it
// before the first section is replaced, or a line is added before the first section. Every
// other byte is kept, and a file whose lines end in CR LF gets CR LF. Returns "" and sets
// edited, or what is wrong with the value (the programs' own check, "FILE, строка N: ...").
std::string set_setting(const std::string& text, const std::string& file, const std::string& key,
                        const std::string& value, std::string& edited);

}  // namespace program
