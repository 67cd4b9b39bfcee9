#include "files/drive_paths.h"

#include <system_error>
#include <vector>

#include "base/utf8_text.h"

namespace core {

namespace {

std::vector<std::string> components(const std::string& windows_path) {
    std::string rest = windows_path;
    if (rest.size() >= 2 && rest[1] == ':') {
        rest = rest.substr(2);
    }
    std::vector<std::string> parts;
    std::string part;
    for (char c : rest) {
        if (c == '/' || c == '\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

bool same_ignoring_case(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The existing entry of dir spelled like name up to letter case, or name itself.
std::string existing_spelling(const std::filesystem::path& dir, const std::string& name) {
    std::error_code ec;
    if (std::filesystem::exists(dir / name, ec)) {
        return name;
    }
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = path_utf8(it->path().filename());
        if (same_ignoring_case(entry, name)) {
            return entry;
        }
    }
    return name;
}

}  // namespace

std::filesystem::path DriveC::resolve(const std::string& windows_path) const {
    std::filesystem::path path = root_;
    for (const std::string& part : components(windows_path)) {
        path /= existing_spelling(path, part);
    }
    return path;
}

}  // namespace core
