// Test helpers of the mesh importer that need nothing of the plug-in: a
// temporary folder, file texts, a reference file around given node and
// triangle lines, and the importer's default factor. The end-to-end tests
// use them too.
#pragma once
#include "../temp_dir.h"
#include "test_files.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace importtest {

// The float factor the importer starts with, as the builder multiplies by it.
inline const double kScale = static_cast<double>(0.025f);

using TempDir = test_files::TempDir;

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

using test_support::read_file;

// A reference file: the node lines, a rest frame, then "triangles" and the
// given lines and "end".
inline std::string smd_file(const std::string& nodes, const std::string& triangles) {
    return "version 1\nnodes\n" + nodes + "end\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\ntriangles\n" + triangles +
           "end\n";
}
inline std::string smd_file(const std::string& triangles) { return smd_file("0 \"root\" -1\n", triangles); }

}  // namespace importtest
