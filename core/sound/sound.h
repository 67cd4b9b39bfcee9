#pragma once

#include <filesystem>
#include <string>

namespace core {

// The PC's sound output, wired to the boards' recording input: each file plays to its end
// before the call returns.
class Sound {
  public:
    virtual ~Sound() = default;
    // "" when sound can be played at all, else why not.
    virtual std::string output_problem() = 0;
    // Plays file to the end before returning (name is how the program calls it, for whoever
    // records what was played). Returns "" or why it could not be played.
    virtual std::string play(const std::filesystem::path& file, const std::string& name) = 0;
};

// Where no player was built in: every upload is refused with the reason.
class NoSound : public Sound {
  public:
    explicit NoSound(std::string why) : why_(std::move(why)) {}
    std::string output_problem() override { return why_; }
    std::string play(const std::filesystem::path&, const std::string&) override { return why_; }

  private:
    std::string why_;
};

}  // namespace core
