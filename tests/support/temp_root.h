#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

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
