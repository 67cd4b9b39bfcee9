#pragma once

#include <filesystem>
#include <string>

namespace core {

// Drive C: of the original programs. Every fixed path ("c:\Ring.TXT", "C:/wav/0.wav") lives
// under root. As on Windows, a component whose exact spelling is absent matches an existing
// one that differs only in letter case; a path that does not exist keeps the documented
// spelling, so a file created there gets it.
class DriveC {
  public:
    explicit DriveC(std::filesystem::path root) : root_(std::move(root)) {}

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path resolve(const std::string& windows_path) const;

  private:
    std::filesystem::path root_;
};

}  // namespace core
