#pragma once

// A program run as an operator or a script runs it: arguments, standard input, and what it
// printed and how it ended.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    double cpu_seconds = 0;
    double wall_seconds = 0;
};

// In a child: becomes the program; unless with_settings, it reads no settings file, so an
// installed one cannot change the result.
[[noreturn]] inline void exec_program(const std::vector<std::string>& args, bool with_settings) {
    std::vector<std::string> words = args;
    if (!with_settings) {
        words.insert(words.begin() + 1, "--no-settings");
    }
    std::vector<char*> argv;
    for (const std::string& a : words) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// Runs a program with input on its standard input; environment variables in unset are
// removed first and those in set given. Unless with_settings, it reads no settings file, so
// an installed one cannot change the result. With cwd, it runs in that folder.
inline Outcome run(const std::vector<std::string>& args, const std::string& input,
                   const std::vector<std::string>& unset = {},
                   const std::vector<std::pair<std::string, std::string>>& set = {},
                   bool with_settings = false, const std::string& cwd = "") {
    std::string err_path = ::testing::TempDir() + "/e2e_stderr_" + std::to_string(::getpid());
    int in[2], out[2];
    Outcome o;
    if (::pipe(in) != 0 || ::pipe(out) != 0) {
        return o;
    }
    auto started = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) {
            ::_exit(126);
        }
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        std::FILE* err = std::fopen(err_path.c_str(), "w");
        ::dup2(fileno(err), STDERR_FILENO);
        ::close(in[1]);
        ::close(out[0]);
        for (const std::string& name : unset) {
            ::unsetenv(name.c_str());
        }
        for (const auto& [name, value] : set) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        exec_program(args, with_settings);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0) {
        ADD_FAILURE() << "input not written";
    }
    ::close(in[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        o.out.append(buffer, n);
    }
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    o.wall_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    o.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                    (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(err_path);
    std::stringstream text;
    text << err.rdbuf();
    o.err = text.str();
    std::remove(err_path.c_str());
    return o;
}

// A program left running, its standard input closed at once, its output read as it comes;
// the environment variables in set are given to it.
class RunningProgram {
  public:
    explicit RunningProgram(const std::vector<std::string>& args,
                            const std::vector<std::pair<std::string, std::string>>& set = {}) {
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            int null = ::open("/dev/null", O_RDONLY);
            ::dup2(null, STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            for (const auto& [name, value] : set) {
                ::setenv(name.c_str(), value.c_str(), 1);
            }
            exec_program(args, false);
        }
        ::close(out[1]);
        out_ = out[0];
    }
    ~RunningProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }
    // Reads its output until a line holds text; false at the end of its output first.
    bool wait_for(const std::string& text) {
        char buffer[4096];
        while (output.find(text) == std::string::npos) {
            ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0) {
                return false;
            }
            output.append(buffer, n);
        }
        return true;
    }
    // Sends a signal, reads the rest of its output and returns its exit status (-1: killed).
    int end_with(int signal) {
        ::kill(pid_, signal);
        char buffer[4096];
        for (ssize_t n; (n = ::read(out_, buffer, sizeof buffer)) > 0;) {
            output.append(buffer, n);
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Reads the rest of its output and returns its exit status (signal 0 sends nothing).
    int wait_end() { return end_with(0); }

    std::string output;

  private:
    pid_t pid_ = -1;
    int out_ = -1;
};
