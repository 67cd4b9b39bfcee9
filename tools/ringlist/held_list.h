#pragma once

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

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
    // Returns "" or what failed; on failure the list is as it was, unless renamed() says
    // that the new list took its place and only the folder's sync failed.
    std::string replace(const std::string& bytes, const std::string& backup_name);
    // Removes what a run killed while replacing this list left aside (the new list's and a
    // backup's .new files, by their names); returns what it removed.
    std::vector<std::filesystem::path> clear_asides();
    // The last replace put the new list in place (whatever it returned).
    bool renamed() const { return renamed_; }

  private:
    std::FILE* file_ = nullptr;
    std::filesystem::path path_;
    std::string bytes_;
    bool renamed_ = false;
};

// "20261208-093000": a stamp for backup names, from the PC's local time.
std::string file_stamp();

// The list of a campaign folder: its Ring.TXT in any letter case.
std::filesystem::path folder_list(const std::filesystem::path& folder);

// Holds a list for a change and checks it as the start does; says why not to out and returns
// false when it cannot be changed safely.
bool hold_list(const std::filesystem::path& path, HeldList& list, std::ostream& out);

// "Ring.TXT.20261208-093000.bak", beside the list, not yet taken.
std::string backup_name(const std::filesystem::path& list);

}  // namespace ringlist
