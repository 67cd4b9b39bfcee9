#include "base/option_rows.h"

namespace core {

namespace {

// Columns on a terminal: UTF-8 continuation bytes take none.
size_t columns(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text) {
        n += (c & 0xC0) != 0x80;
    }
    return n;
}

const OptionRow* find_row(const std::vector<OptionRow>& rows, const std::string& name,
                          size_t& index) {
    for (index = 0; index < rows.size(); ++index) {
        if (name == rows[index].name) {
            return &rows[index];
        }
    }
    return nullptr;
}

}  // namespace

OptionsRead read_options(const std::vector<OptionRow>& rows, const std::vector<std::string>& args,
                         bool equals_form) {
    OptionsRead read;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        std::string value;
        bool has_value = false;
        size_t eq = option.find('=');
        if (equals_form && option.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = option.substr(eq + 1);
            option = option.substr(0, eq);
            has_value = true;
        }
        size_t index = 0;
        const OptionRow* row = find_row(rows, option, index);
        if (row == nullptr || (row->value == nullptr && has_value)) {
            read.fault = OptionFault::unknown;
        } else if (row->value != nullptr && !has_value && i + 1 == args.size()) {
            read.fault = OptionFault::no_value;
        }
        if (read.fault != OptionFault::none) {
            read.argument = args[i];
            read.option = option;
            return read;
        }
        if (row->value != nullptr && !has_value) {
            value = args[++i];
        }
        read.found.push_back({index, value});
    }
    return read;
}

OptionsRead read_command_line(const std::vector<OptionRow>& rows,
                              const std::vector<std::string>& args, bool equals_form,
                              std::vector<std::string>& operands) {
    std::vector<std::string> options;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") {
            operands.insert(operands.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        if (args[i].rfind("--", 0) != 0) {
            operands.push_back(args[i]);
            continue;
        }
        options.push_back(args[i]);
        size_t index = 0;
        const OptionRow* row = find_row(rows, args[i], index);
        if (row != nullptr && row->value != nullptr && i + 1 < args.size()) {
            options.push_back(args[++i]);
        }
    }
    return read_options(rows, options, equals_form);
}

std::string options_help(const std::vector<OptionRow>& rows, size_t help_column) {
    const std::string indent(help_column, ' ');
    std::string text;
    for (const OptionRow& row : rows) {
        std::string head = std::string("  ") + row.name;
        if (row.value != nullptr) {
            head += std::string(" ") + row.value;
        }
        size_t width = columns(head);
        head += width < help_column ? std::string(help_column - width, ' ') : "\n" + indent;
        std::string help = row.help;
        for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1)) {
            help.insert(at + 1, indent);
        }
        text += head + help + "\n";
    }
    return text;
}

}  // namespace core
