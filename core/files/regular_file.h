#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace core {

// The reason given for a path that is there but is not a plain file (a FIFO, a device, a
// socket): reading one would block, never end, or read what no program wrote.
const char* const NOT_A_FILE = "не обычный файл";

// Opens a file for reading ("rb", "r+b") only when it is a regular file. A FIFO is opened
// without waiting for a writer and refused; a folder or a device is refused with its reason.
// Null with error set on failure.
std::FILE* open_regular(const std::filesystem::path& path, const char* mode, std::string& error);

// "" when path names a regular file (through links), else the reason, as open_regular says
// it. For a file that some other call opens.
std::string regular_file_refusal(const std::filesystem::path& path);

// A regular file's whole bytes, refused past limit bytes ("файл слишком велик"): an input
// is never read without bound. Empty, with the reason in error, when it cannot be read.
std::string read_regular_file(const std::filesystem::path& path, std::string& error,
                              std::uintmax_t limit);

}  // namespace core
