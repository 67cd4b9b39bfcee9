#pragma once

#include <filesystem>
#include <string>

namespace core {

// Text is UTF-8 everywhere inside the programs. A path made from a narrow string is in the
// ANSI code page on Windows, so paths cross over here, and UTF-16 only at the Windows API.
std::filesystem::path utf8_path(const std::string& text);
std::string path_utf8(const std::filesystem::path& path);

// How many of the bytes end on a character's boundary: all of them, less the start of a
// character whose last bytes are still to come (text written to a console in pieces).
size_t utf8_whole_length(const std::string& bytes);

#ifdef _WIN32
std::wstring to_utf16(const std::string& text);
std::string from_utf16(const wchar_t* text, size_t length);
inline std::string from_utf16(const std::wstring& text) {
    return from_utf16(text.data(), text.size());
}
#endif

}  // namespace core
