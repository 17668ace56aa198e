// The tool's SMD reader on any bytes: it reads, describes, and compares what
// it read with itself; a model of ordinary numbers always matches itself.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "smd_model.h"

namespace {

// Finite and far from overflowing when summed or scaled.
bool ordinary(double value) { return std::fabs(value) < 1e30; }

bool finite(const lwcli::SmdModel& model) {
    for (const auto& frame : model.frames)
        for (const auto& pose : frame.poses)
            for (int k = 0; k < 3; ++k)
                if (!ordinary(pose.position[k]) || !ordinary(pose.rotation[k])) return false;
    for (const auto& triangle : model.triangles)
        for (const auto& corner : triangle.corners) {
            for (int k = 0; k < 3; ++k)
                if (!ordinary(corner.position[k]) || !ordinary(corner.normal[k])) return false;
            if (!ordinary(corner.uv[0]) || !ordinary(corner.uv[1])) return false;
            for (const auto& link : corner.links)
                if (!ordinary(link.weight)) return false;
        }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    lwcli::SmdModel model;
    lwcli::read_smd_model(in, model);
    (void)lwcli::describe(model);
    const lwcli::SmdComparison skeleton = lwcli::compare_skeletons(model, model);
    const lwcli::SmdComparison triangles = lwcli::compare_triangles(model, model, true);
    // Duplicate node names or indices make "the same model" ambiguous, so
    // only the skeleton's frames of a finite model are held to the rule.
    if (finite(model) && !triangles.matched && model.nodes.empty()) std::abort();
    (void)skeleton;
    return 0;
}
