#include "ringlist/serve/status_file.h"

#include <algorithm>

namespace ringlist {

int nesting_depth(const std::string& bytes, int limit) {
    int depth = 0;
    int deepest = 0;
    bool in_string = false;
    for (size_t i = 0; i < bytes.size() && deepest <= limit; ++i) {
        char c = bytes[i];
        if (in_string) {
            if (c == '\\') {
                ++i;  // the escaped character, a quote included, does not end the string
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

nlohmann::json status_from_bytes(const std::string& bytes) {
    using nlohmann::json;
    if (bytes.size() > STATUS_FILE_LIMIT) {
        return {{"unreadable", "больше " + std::to_string(STATUS_FILE_LIMIT / 1024) + " КБ"}};
    }
    if (nesting_depth(bytes, STATUS_DEPTH_LIMIT) > STATUS_DEPTH_LIMIT) {
        return {{"unreadable", "вложенность глубже " + std::to_string(STATUS_DEPTH_LIMIT)}};
    }
    json status = json::parse(bytes, nullptr, false);
    if (status.is_discarded() || !status.is_object()) {
        return {{"unreadable", "не JSON"}};
    }
    return status;
}

}  // namespace ringlist
