#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace core {

// The reason given for a path that is there but is not a plain file (a FIFO, a device, a
// socket): reading one would block, never end, or read what no program wrote.
const char* const NOT_A_FILE = "не обычный файл";

// The reason given for a file past the bound its reader sets.
const char* const TOO_LARGE = "файл слишком велик";

// The bound on a list, a log or an attempts file read whole: far above any real campaign
// (ten million records), far below what would exhaust the memory of the PC.
const std::uintmax_t LARGEST_INPUT = std::uintmax_t{256} << 20;

// The bound on a file of settings (a settings file, the holidays): a few lines of text.
const std::uintmax_t LARGEST_SETTINGS = std::uintmax_t{1} << 20;

// Opens a file for reading ("rb", "r+b") or appending ("ab", "a+b": made when it is not there)
// only when it is a regular file. A FIFO is opened without waiting for the other end and
// refused; a folder or a device is refused with its reason. Null with error set on failure.
std::FILE* open_regular(const std::filesystem::path& path, const char* mode, std::string& error);

// "" when path names a regular file (through links), else the reason, as open_regular says
// it. For a file that some other call opens.
std::string regular_file_refusal(const std::filesystem::path& path);

// A regular file's whole bytes, refused past limit bytes ("файл слишком велик"): an input
// is never read without bound: a file whose size is past it is refused before a byte is read.
// Empty, with the reason in error, when it cannot be read.
std::string read_regular_file(const std::filesystem::path& path, std::string& error,
                              std::uintmax_t limit);

}  // namespace core
