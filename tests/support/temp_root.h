#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define BOARDRACK_TEST_PID _getpid()
#else
#include <unistd.h>
#define BOARDRACK_TEST_PID ::getpid()
#endif

// A path of its own in the shared temporary folder: the process id keeps two build trees
// that test at once apart.
inline std::string temp_path(const std::string& name) {
    return (std::filesystem::path(::testing::TempDir()) /
            (name + "_" + std::to_string(BOARDRACK_TEST_PID)))
        .string();
}

// A whole file's bytes; empty for a file that is not there.
inline std::string file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A file's lines, without their line ends.
inline std::vector<std::string> file_lines(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A wire trace as events: each line's time in seconds and what it records ("> 34", "< 20").
inline std::vector<std::pair<double, std::string>> trace_events(const std::filesystem::path& path) {
    std::vector<std::pair<double, std::string>> events;
    for (const std::string& line : file_lines(path)) {
        events.push_back({std::stod(line), line.substr(line.find(' ') + 1)});
    }
    return events;
}

// Writes a file whole, making its folders first.
inline void write_file_bytes(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every file under a folder with its bytes, by its path inside it: what a run left, or what a
// refusal must leave as it was.
inline std::map<std::string, std::string> files_under(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    if (!std::filesystem::is_directory(dir)) {
        return files;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files[std::filesystem::relative(entry.path(), dir).generic_string()] =
                file_bytes(entry.path());
        }
    }
    return files;
}

// A fresh folder standing for drive C:, removed afterwards.
struct TempRoot {
    TempRoot() {
        static std::atomic<int> counter{0};
        path = temp_path("root_" + std::to_string(counter++) + "_" +
                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempRoot() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path / name, std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const { return file_bytes(path / name); }

    std::filesystem::path path;
};

// One record of Ring.TXT: number, two separators, amount, a blank, the mark, CR LF.
inline std::string record(const std::string& number, const std::string& amount, char mark = ' ') {
    std::string r = number + "  " + amount + " " + mark + "\r\n";
    EXPECT_EQ(r.size(), 20u) << r;
    return r;
}

// An amount as the list holds it: seven columns, right-aligned.
inline std::string amount_column(int amount) {
    char text[16];
    std::snprintf(text, sizeof text, "%7d", amount);
    return text;
}

// A list of count records numbered from first, the i-th with amount_of(i) and mark_of(i),
// closed by its empty line.
inline std::string list_of(
    int count, int first, const std::function<int(int)>& amount_of,
    const std::function<char(int)>& mark_of = [](int) { return ' '; }) {
    std::string list;
    for (int i = 0; i < count; ++i) {
        list += record(std::to_string(first + i), amount_column(amount_of(i)), mark_of(i));
    }
    return list + "\r\n";
}

// A mount over a path for the test's life, undone however the test ends.
struct Mounted {
    Mounted(const std::filesystem::path& target, const std::string& how) : path(target.string()) {
        mounted = std::system(("mount " + how + " '" + path + "' 2>/dev/null").c_str()) == 0;
    }
    ~Mounted() {
        if (mounted) {
            EXPECT_EQ(std::system(("umount '" + path + "'").c_str()), 0);
        }
    }
    std::string path;
    bool mounted = false;
};

// A file or folder made read-only in place by a read-only bind mount of itself, which binds
// root too (file permissions do not).
struct ReadOnly {
    explicit ReadOnly(const std::filesystem::path& target)
        : bind(target, "--bind '" + target.string() + "'") {
        std::string ro = "mount -o remount,bind,ro '" + bind.path + "' 2>/dev/null";
        made = bind.mounted && std::system(ro.c_str()) == 0;
    }
    Mounted bind;
    bool made = false;
};
