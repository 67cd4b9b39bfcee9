#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace ringlist {

// A list held for this program alone, with the lock Dialrun takes for its run: no Dialrun can
// start on it meanwhile, and a list a running Dialrun holds is refused.
class HeldList {
  public:
    HeldList() = default;
    ~HeldList();
    HeldList(const HeldList&) = delete;
    HeldList& operator=(const HeldList&) = delete;

    // Opens, locks and reads the list; "" or the reason it cannot be held.
    std::string hold(const std::filesystem::path& path);
    const std::string& bytes() const { return bytes_; }
    const std::filesystem::path& path() const { return path_; }

    // Replaces the list by new bytes, keeping its owner and mode: a copy of the old list
    // under backup_name first (unless empty), then a new file written and synced, renamed
    // over the list, and the folder synced. The lock is held until the new list is in place.
    // Returns "" or what failed; on failure the list is as it was.
    std::string replace(const std::string& bytes, const std::string& backup_name);

  private:
    std::FILE* file_ = nullptr;
    std::filesystem::path path_;
    std::string bytes_;
};

// Writes a new file and puts it on the disk; refuses to overwrite an existing one. A mode
// other than 0 is the new file's from the start (POSIX permission bits; not on Windows).
std::string write_new_file(const std::filesystem::path& path, const std::string& bytes,
                           unsigned mode = 0);

// Puts bytes in the place of a file in one step: a new file written and synced beside it,
// renamed over it, the folder synced. On failure the file is as it was.
std::string replace_file(const std::filesystem::path& path, const std::string& bytes,
                         unsigned mode = 0);

// The permission bits of a file (a list, for what is made from it); 0 when unknown.
unsigned file_mode(const std::filesystem::path& path);

// "20261208-093000": a stamp for backup names, from the PC's local time.
std::string file_stamp();

}  // namespace ringlist
