#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

namespace ringlist {

// A program's status file is a few hundred bytes, nested three deep: anything much bigger or
// deeper is not one, and is never handed whole to the JSON parser, whose recursion a file
// nested a hundred thousand deep would run off the stack.
constexpr size_t STATUS_FILE_LIMIT = 64 * 1024;
constexpr int STATUS_DEPTH_LIMIT = 32;

// The status file's JSON object as the page may show it, or {"unreadable": why} for bytes that
// are too many, nested too deep, not JSON or not an object.
nlohmann::json status_from_bytes(const std::string& bytes);

// How deep brackets and braces nest outside strings, counted no further than limit + 1.
int nesting_depth(const std::string& bytes, int limit);

}  // namespace ringlist
