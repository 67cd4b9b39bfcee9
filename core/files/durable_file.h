#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/system_reason.h"

namespace core {

// A file for this process alone to write while it is open: a second opener is refused, not
// interleaved; a reader (ringlist serve) may still read it and never makes a write wait. mode is an
// fopen mode ("r+b", "ab"). Null with error set on failure; error is "занят другой программой" when
// another process has it. With wait, a file that another process holds is waited for (up to a few
// seconds) instead.
std::FILE* open_exclusive(const std::filesystem::path& path, const char* mode, std::string& error,
                          bool wait = false);

// Writes what is buffered and has the system put it on the disk, so a result reported as
// saved survives a crash. Returns the system's reason on failure, else "".
std::string sync_to_disk(std::FILE* file);

// Writes bytes, puts them on the disk and closes the file, whatever fails. Returns the
// system's reason for the first failure, else "".
std::string write_durably_and_close(std::FILE* file, const std::string& bytes);

// Cuts off an unfinished last line (bytes after the last LF, fewer than longest) of a file
// opened for reading and appending ("a+b"): a write torn by a kill must not shift every line
// appended after it. A tail of longest bytes or more is not such a line and is kept. Returns
// the system's reason on failure, else "".
std::string drop_unfinished_line(std::FILE* file, long longest);

// Appends whole lines to a file of lines no longer than longest, locked for this process
// while it writes, and puts them on the disk (a new file's name too) before returning. An
// unfinished last line is cut off first. A file made here gets mode (0: the system's
// default). Returns the system's reason on failure, else "".
std::string append_lines(const std::filesystem::path& path, const std::string& lines, long longest,
                         unsigned mode);

// A whole file's bytes; empty, with the reason in error, when it cannot be read.
std::string read_file_bytes(const std::filesystem::path& path, std::string& error);

// Writes a new file and puts it on the disk; refuses to overwrite an existing one. It is
// written aside and then named, so a kill never leaves a torn file by that name. A mode
// other than 0 is the new file's from the start (POSIX permission bits; not on Windows).
std::string write_new_file(const std::filesystem::path& path, const std::string& bytes,
                           unsigned mode = 0);

// Puts bytes in the place of a file in one step: a new file written and synced beside it,
// renamed over it, the folder synced. On failure the file is as it was.
std::string replace_file(const std::filesystem::path& path, const std::string& bytes,
                         unsigned mode = 0);

// Opens a file to append to, creating it with mode (POSIX permission bits; 0: the system's
// default) where it is not there. Null with error set on failure.
std::FILE* open_append(const std::filesystem::path& path, unsigned mode, std::string& error);

// The permission bits of a file (a list, for what is made from it); 0 when unknown.
unsigned file_mode(const std::filesystem::path& path);

// Puts a folder's entries on the disk, so that a file just created in it survives a power
// cut as well as what was written to it. Nothing to do on Windows, where each write is
// flushed through its file. Returns the system's reason on failure, else "".
std::string sync_folder(const std::filesystem::path& folder);

}  // namespace core
