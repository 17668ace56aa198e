// Test helpers both mesh exporters' fixtures share: a writer's whole output
// captured from a temporary stream, and a text cut into lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace smdtest {

// What write(stream) puts into a temporary file, with its result code in
// *out_rc, or expected to be 0 when out_rc is null.
template <class Write>
std::string capture_stream(Write write, int* out_rc) {
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) {
        ADD_FAILURE() << "no temporary file";
        return {};
    }
    const int rc = write(stream);
    if (out_rc != nullptr) {
        *out_rc = rc;
    } else {
        EXPECT_EQ(rc, 0);
    }
    std::string text;
    std::rewind(stream);
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, got);
    std::fclose(stream);
    return text;
}

// The lines of `text` without their newlines; no empty line after a final one.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace smdtest
