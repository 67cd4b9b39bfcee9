#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace core {

// One option as a program's table lists it: how it is written, the value it takes, and what
// --help says of it. The parser and --help read the same rows.
struct OptionRow {
    const char* name = nullptr;   // "--port"
    const char* value = nullptr;  // "NAME"; nullptr for a flag
    const char* help = nullptr;   // lines after the first start under the first
};

// An option found on the command line: its row, and its value ("" for a flag).
struct OptionFound {
    size_t row = 0;
    std::string value;
};

enum class OptionFault { none, unknown, no_value };

struct OptionsRead {
    std::vector<OptionFound> found;  // in the command line's order, up to a fault
    OptionFault fault = OptionFault::none;
    std::string argument;  // the argument at fault, as written
    std::string option;    // its option's name, without "=value"
};

// Reads the arguments against the rows. With equals_form "--port=COM3" stands for
// "--port COM3"; a flag never takes a value.
OptionsRead read_options(const std::vector<OptionRow>& rows, const std::vector<std::string>& args,
                         bool equals_form);

// Options and operands in any order ("check --duplicates FILE" as "check FILE --duplicates"):
// an argument that starts with "--" is an option, with its value after "=" (equals_form) or
// as the next argument; every other argument is an operand, in order. "--" alone makes every
// argument after it an operand.
OptionsRead read_command_line(const std::vector<OptionRow>& rows,
                              const std::vector<std::string>& args, bool equals_form,
                              std::vector<std::string>& operands);

// The rows as --help lists them: "  " name and value, then the help from help_column (on the
// next line when name and value reach that far).
std::string options_help(const std::vector<OptionRow>& rows, size_t help_column);

}  // namespace core
