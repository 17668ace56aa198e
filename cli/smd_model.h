// An SMD file read whole, for what the tool says about files (-v) and for
// the demo's round-trip comparison. This is a checker's reader, not an
// importer: it keeps every number as written and counts the lines it could
// not read instead of guessing at them.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace lwcli {

struct SmdModelNode {
    int index = 0;
    std::string name;
    int parent = -1;
};

struct SmdModelPose {
    int node = 0;
    double position[3] = {0, 0, 0};
    double rotation[3] = {0, 0, 0};   // radians, about X, then Y, then Z
};

struct SmdModelFrame {
    long time = 0;
    std::vector<SmdModelPose> poses;
};

struct SmdModelLink {
    int node = 0;
    double weight = 0;
};

struct SmdModelCorner {
    int parent = 0;
    double position[3] = {0, 0, 0};
    double normal[3] = {0, 0, 0};
    double uv[2] = {0, 0};
    std::vector<SmdModelLink> links;
};

struct SmdModelTriangle {
    std::string material;
    SmdModelCorner corners[3];
};

struct SmdModel {
    std::vector<SmdModelNode> nodes;
    std::vector<SmdModelFrame> frames;
    std::vector<SmdModelTriangle> triangles;
    long skipped_lines = 0;   // lines inside a section that could not be read
};

// Reads `file`; false with `error` set when it cannot be opened. A file that
// is not SMD reads as an empty model.
bool read_smd_model(const std::string& file, SmdModel& out, std::string& error);
void read_smd_model(std::istream& in, SmdModel& out);

// "12 triangles, 2 materials, 5 nodes, 30 frames" (and lines skipped).
std::string describe(const SmdModel& model);

// How far a copy of an SMD model is from its original.
struct SmdComparison {
    bool matched = true;
    std::vector<std::string> differences;   // the first few, as sentences
    double worst_position = 0, worst_rotation = 0, worst_normal = 0, worst_uv = 0, worst_weight = 0;

    void differ(std::string text);
};

// Nodes by name and parent name, and the pose of every node at every frame
// (a node a frame leaves out keeps its pose from before; rotations compared
// as the turns they make, not as angle triples).
SmdComparison compare_skeletons(const SmdModel& original, const SmdModel& copy);

// Triangles as an unordered set: material, and per corner position, normal
// and UV (the corners in the same turning order, from any start). With
// `links`, also each corner's parent and weights, by node name.
SmdComparison compare_triangles(const SmdModel& original, const SmdModel& copy, bool links);

}  // namespace lwcli
