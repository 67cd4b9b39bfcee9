#include "base/utf8_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace core {

std::filesystem::path utf8_path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string path_utf8(const std::filesystem::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

size_t utf8_whole_length(const std::string& bytes) {
    // Back over at most three continuation bytes to the lead byte of the last character.
    size_t lead = bytes.size();
    while (lead > 0 && bytes.size() - lead < 4 &&
           (static_cast<unsigned char>(bytes[lead - 1]) & 0xC0) == 0x80) {
        --lead;
    }
    if (lead == 0 || bytes.size() - lead >= 4) {
        return bytes.size();  // no lead byte: not UTF-8 to wait for
    }
    auto first = static_cast<unsigned char>(bytes[lead - 1]);
    size_t needs = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    size_t has = bytes.size() - lead + 1;
    return has < needs ? lead - 1 : bytes.size();
}

#ifdef _WIN32
std::wstring to_utf16(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string from_utf16(const wchar_t* text, size_t length) {
    if (length == 0) {
        return {};
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr,
                                nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), n, nullptr,
                        nullptr);
    return utf8;
}
#endif

}  // namespace core
