#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "app/runtime.h"
#include "support/temp_root.h"

// A program's runtime on a simulated rack (its file kept in rack_dir) under virtual time from
// 2026-12-08 10:00, as the windows' tests run it.
inline std::unique_ptr<program::Runtime> fast_runtime(const TempRoot& rack_dir,
                                                      const std::string& rack_text,
                                                      const std::string& root) {
    std::string rack = rack_dir.file("test.rack");
    std::ofstream(rack) << rack_text;
    program::ProgramOptions options;
    options.rack_file = rack;
    options.fast = true;
    options.root = root;
    core::LocalTime ten;
    core::parse_local_time("2026-12-08T10:00:00", ten);
    options.time = ten;
    std::string error;
    std::unique_ptr<program::Runtime> runtime = program::Runtime::create(options, error);
    EXPECT_TRUE(runtime) << error;
    return runtime;
}
