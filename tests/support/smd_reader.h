// One reader of SMD text for the tests: the nodes, the skeleton frames and
// the triangles, as written. It reads what the file format allows and notes
// the first line that does not fit, so a test can check a whole file was
// written and then compare values.
#pragma once

#include <string>
#include <vector>

namespace test_support {

struct SmdNode {
    int index = 0;
    std::string name;  // between the quotes
    int parent = -1;
};

struct SmdBone {
    int node = 0;
    double position[3] = {0, 0, 0};
    double rotation[3] = {0, 0, 0};
};

struct SmdFrame {
    int time = 0;
    std::vector<SmdBone> bones;
};

struct SmdLink {
    int node = 0;
    double weight = 0;
};

struct SmdVertex {
    std::vector<std::string> fields;  // the line's fields as written
    int parent = 0;
    double position[3] = {0, 0, 0};
    double normal[3] = {0, 0, 0};
    double u = 0, v = 0;
    std::vector<SmdLink> links;  // after the link count, when the line has one
};

struct SmdTriangle {
    std::string material;
    SmdVertex corners[3];
};

struct SmdFile {
    std::vector<SmdNode> nodes;
    std::vector<SmdFrame> frames;
    bool has_triangles = false;  // a "triangles" section was there (reference files)
    std::vector<SmdTriangle> triangles;
    // Empty when the text was read whole; else what did not fit and its line.
    std::string error;
};

// "version 1", "nodes" ... "end", "skeleton" with "time n" frames ... "end",
// then optionally "triangles" (a material line and three vertex lines per
// triangle) ... "end". Keywords are compared as whole lines (a stray blank
// or '\r' is an error), but for "time n", which may be indented.
SmdFile read_smd(const std::string& text);

// The lines between "triangles" and its "end", as written (empty without).
std::vector<std::string> smd_triangle_lines(const std::string& text);

}  // namespace test_support
