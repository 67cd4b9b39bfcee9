#include "app/settings_edit.h"

#include "app/settings.h"
#include "base/plain_text.h"

namespace program {

namespace {

// The key a line sets, or "" for a comment, a section or anything else.
std::string key_of(const std::string& line) {
    std::string content = core::trimmed(line);
    size_t eq = content.find('=');
    if (content.empty() || content[0] == '#' || content[0] == '[' || eq == std::string::npos) {
        return "";
    }
    return core::trimmed(content.substr(0, eq));
}

}  // namespace

std::string set_setting(const std::string& text, const std::string& file, const std::string& key,
                        const std::string& value, std::string& edited) {
    const std::string end = text.empty() || text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::string line = key + " = " + value;
    // An editor's UTF-8 byte-order mark stays in front, apart from the first line's key.
    const bool bom = text.rfind("\xEF\xBB\xBF", 0) == 0;
    std::string out = bom ? text.substr(0, 3) : "";
    bool placed = false;
    size_t at = bom ? 3 : 0;
    while (at < text.size()) {
        size_t next = text.find('\n', at);
        next = next == std::string::npos ? text.size() : next + 1;
        std::string original = text.substr(at, next - at);
        std::string content = core::trimmed(original);
        if (!placed && !content.empty() && content[0] == '[') {
            out += line + end;  // before the first section: every program's
            placed = true;
        }
        if (!placed && key_of(original) == key) {
            bool ended = original.back() == '\n';
            bool crlf = original.size() > 1 && original[original.size() - 2] == '\r';
            out += line + (ended ? (crlf ? "\r\n" : "\n") : end);
            placed = true;
        } else {
            out += original;
        }
        at = next;
    }
    if (!placed) {
        if (out.size() > (bom ? 3u : 0u) && out.back() != '\n') {
            out += end;
        }
        out += line + end;
    }
    // Refused as the programs themselves would refuse it when they read the file.
    for (const std::string& program : settings_sections()) {
        Settings settings;
        std::string wrong = read_settings_text(out, file, program, settings);
        if (!wrong.empty()) {
            return wrong;
        }
    }
    edited = out;
    return "";
}

}  // namespace program
