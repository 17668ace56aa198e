// Reading what a test wrote (or a golden file) back whole, and cutting text
// into lines and blank-separated fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

// The file's bytes; empty when it cannot be read.
std::string read_file(const std::string& path);
std::vector<std::uint8_t> read_bytes(const std::string& path);

// Lines without their '\n'; a last line without one counts, an empty text
// has none.
std::vector<std::string> lines_of(const std::string& text);
// Fields separated by blanks (spaces, tabs, any whitespace).
std::vector<std::string> fields_of(const std::string& line);

}  // namespace test_support
