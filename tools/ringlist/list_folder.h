#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "held_list.h"

namespace ringlist {

// The list of a campaign folder: its Ring.TXT in any letter case.
std::filesystem::path folder_list(const std::filesystem::path& folder);

// Holds a list for a change and checks it as the start does; says why not to out and returns
// false when it cannot be changed safely.
bool hold_list(const std::filesystem::path& path, HeldList& list, std::ostream& out);

// "Ring.TXT.20261208-093000.bak", beside the list, not yet taken.
std::string backup_name(const std::filesystem::path& list);

}  // namespace ringlist
