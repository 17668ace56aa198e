// Test helpers both mesh exporters' fixtures share: a writer's whole output
// captured from a temporary stream, and a text cut into lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_files.h"

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
using test_support::lines_of;

}  // namespace smdtest
