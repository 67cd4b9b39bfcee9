#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

// boardsim as a child process; its first output line is the pty to open.
class BoardsimProcess {
  public:
    explicit BoardsimProcess(const std::string& rack_text) {
        rack_path_ = ::testing::TempDir() + "/pty_test_" + std::to_string(::getpid()) + ".rack";
        std::ofstream(rack_path_) << rack_text;
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::execl(BOARDSIM_PATH, "boardsim", rack_path_.c_str(), static_cast<char*>(nullptr));
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
    ~BoardsimProcess() {
        stop();
        std::remove(rack_path_.c_str());
    }
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    const std::string& path() const { return path_; }

  private:
    pid_t pid_ = -1;
    std::string path_;
    std::string rack_path_;
};
