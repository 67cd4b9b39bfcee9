#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// boardsim (BOARDSIM_PATH) as a child process on a rack file, with further options; its first
// output line is the pty to open. The tests and the link benchmark both start it so.
class BoardsimProcess {
  public:
    explicit BoardsimProcess(const std::string& rack_path,
                             const std::vector<std::string>& options = {}) {
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            std::vector<char*> argv{const_cast<char*>("boardsim"),
                                    const_cast<char*>(rack_path.c_str())};
            for (const std::string& option : options) {
                argv.push_back(const_cast<char*>(option.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(BOARDSIM_PATH, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        std::FILE* from_child = ::fdopen(out[0], "r");
        char line[256] = {};
        if (from_child != nullptr && std::fgets(line, sizeof line, from_child) != nullptr) {
            path_ = line;
            path_.erase(path_.find_last_not_of('\n') + 1);
        }
        if (from_child != nullptr) {
            std::fclose(from_child);
        }
    }
    ~BoardsimProcess() { stop(); }
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    // The pty boardsim serves.
    const std::string& path() const { return path_; }

  private:
    pid_t pid_ = -1;
    std::string path_;
};

// A rack written for the test's life, and boardsim on it.
class BoardsimOnRack {
  public:
    explicit BoardsimOnRack(const std::string& rack_text)
        : rack_path_(written(rack_text)), process_(rack_path_) {}
    ~BoardsimOnRack() {
        process_.stop();
        std::remove(rack_path_.c_str());
    }
    void stop() { process_.stop(); }
    const std::string& path() const { return process_.path(); }

  private:
    static std::string written(const std::string& rack_text) {
        std::string path = (std::filesystem::temp_directory_path() /
                            ("pty_test_" + std::to_string(::getpid()) + ".rack"))
                               .string();
        std::ofstream(path) << rack_text;
        return path;
    }
    std::string rack_path_;
    BoardsimProcess process_;
};
