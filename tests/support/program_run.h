#pragma once

// A program run as an operator or a script runs it: arguments, standard input, and what it
// printed and how it ended.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
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

// A program left running, its output read as it comes. Its standard input is /dev/null, or
// input on a pipe that is kept open when keep_input_open (as a terminal or a service manager's
// socket would be) and closed after input otherwise. Environment variables in set are given.
// Every wait on it gives up after two minutes: a guard against a hang, not a bound on its time.
// Unless with_settings, it reads no settings file, as run().
class RunningProgram {
  public:
    explicit RunningProgram(const std::vector<std::string>& args, const std::string& input = "",
                            bool keep_input_open = false,
                            const std::vector<std::pair<std::string, std::string>>& set = {},
                            bool with_settings = false) {
        int out[2];
        int in[2] = {-1, -1};
        bool piped = keep_input_open || !input.empty();
        if (::pipe(out) != 0 || (piped && ::pipe(in) != 0)) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            int from = piped ? in[0] : ::open("/dev/null", O_RDONLY);
            ::dup2(from, STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            if (piped) {
                ::close(in[1]);
            }
            for (const auto& [name, value] : set) {
                ::setenv(name.c_str(), value.c_str(), 1);
            }
            exec_program(args, with_settings);
        }
        ::close(out[1]);
        out_ = out[0];
        if (piped) {
            ::close(in[0]);
            if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0) {
                ADD_FAILURE() << "input not written";
            }
            if (keep_input_open) {
                in_ = in[1];
            } else {
                ::close(in[1]);
            }
        }
    }
    ~RunningProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {out_, in_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    // Reads its output until a line holds text; false at the end of its output first, or when
    // the guard ran out.
    bool wait_for(const std::string& text) {
        auto guard = std::chrono::steady_clock::now() + GUARD;
        while (output.find(text) == std::string::npos) {
            if (!read_more(guard)) {
                return false;
            }
        }
        return true;
    }
    // Sends a signal, reads the rest of its output and returns its exit status (-1: killed, or
    // not ended within the guard, when it is killed).
    // A program that closed its output but never exits is caught by the same guard.
    int end_with(int signal) {
        ::kill(pid_, signal);
        auto guard = std::chrono::steady_clock::now() + GUARD;
        while (read_more(guard)) {
        }
        return reap(guard);
    }

    // Whether it has a handler of its own for signal yet (as /proc tells): it has come so far
    // in its start.
    bool catches(int signal) const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigCgt:", 0) == 0) {
                return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
            }
        }
        return false;
    }
    // Waits until it catches signal; false at the guard.
    bool wait_catches(int signal) {
        auto guard = std::chrono::steady_clock::now() + GUARD;
        while (!catches(signal)) {
            if (std::chrono::steady_clock::now() > guard) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }
    // Reads its output until text has come times times; false as wait_for.
    bool wait_for_count(const std::string& text, size_t times) {
        auto guard = std::chrono::steady_clock::now() + GUARD;
        for (;;) {
            size_t seen = 0;
            for (size_t at = 0; (at = output.find(text, at)) != std::string::npos; ++at) {
                ++seen;
            }
            if (seen >= times) {
                return true;
            }
            if (!read_more(guard)) {
                return false;
            }
        }
    }
    // Waits, reading nothing, until its output fills the pipe (as a reader that stopped
    // reading leaves it); false at the guard.
    bool wait_output_full() {
        int capacity = ::fcntl(out_, F_GETPIPE_SZ);
        auto guard = std::chrono::steady_clock::now() + GUARD;
        for (int waiting = 0; capacity > 0 && std::chrono::steady_clock::now() < guard;) {
            // Full as a writer that waits for room sees it: a page or two free at most.
            if (::ioctl(out_, FIONREAD, &waiting) == 0 && waiting > capacity - 2 * 4096) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Sends a signal and waits for the end without reading its output; its exit status (-1:
    // killed, or not ended within the guard, when it is killed).
    int end_unread(int signal) {
        ::kill(pid_, signal);
        return reap(std::chrono::steady_clock::now() + GUARD);
    }

    // More input on a standard input kept open.
    bool type(const std::string& text) {
        return in_ >= 0 &&
               ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    // Reads the rest of its output and returns its exit status (signal 0 sends nothing).
    int wait_end() { return end_with(0); }

    // Takes what it has written so far, without waiting: a program whose output is not read
    // stops at its next line once the pipe is full. One deadline for the whole take: a program
    // that writes without a pause (an informer on the fast clock) would otherwise keep it
    // reading, and its caller's guard unlooked at, for as long as the program runs.
    void read_ready() {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
        while (read_more(until)) {
        }
    }

    std::string output;

  private:
    static constexpr std::chrono::seconds GUARD{120};

    // Waits for its end until the guard; then says where each of its threads waits (for a
    // hang that comes only on another machine) and kills it. Its exit status, or -1.
    int reap(std::chrono::steady_clock::time_point guard) {
        int status = 0;
        pid_t ended = 0;
        while ((ended = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < guard) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (ended != pid_) {
            ADD_FAILURE() << "no end within " << GUARD.count() << " s; its threads:\n"
                          << threads_of(pid_);
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Each thread's name, the kernel function it sleeps in and its system call, as /proc has
    // them.
    static std::string threads_of(pid_t pid) {
        std::string said;
        std::string tasks = "/proc/" + std::to_string(pid) + "/task";
        std::error_code failed;
        for (const auto& task : std::filesystem::directory_iterator(tasks, failed)) {
            for (const char* part : {"comm", "wchan", "syscall"}) {
                std::ifstream in(task.path() / part);
                std::string line;
                std::getline(in, line);
                said += line + (part[0] == 's' ? "\n" : "\t");
            }
        }
        return said;
    }

    // False at the end of the output or at the guard.
    bool read_more(std::chrono::steady_clock::time_point guard) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            guard - std::chrono::steady_clock::now());
        pollfd ready{out_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[4096];
        ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        output.append(buffer, n);
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
};
