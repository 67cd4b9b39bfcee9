#pragma once

#include <filesystem>
#include <string>

namespace rackconf {

// Makes the data folder (drive C: of the programs) where it is not, and lets every user of
// the PC change files in it and in what it will hold: on Windows the group Users gets modify
// rights, inherited; elsewhere the folder's mode is left to the system. Returns the system's
// reason on failure, else "".
std::string open_data_folder(const std::filesystem::path& folder);

}  // namespace rackconf
