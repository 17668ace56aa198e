#include "smd_reader.h"

#include <cstdlib>
#include <sstream>

#include "test_files.h"

namespace test_support {

namespace {

bool read_vertex(const std::string& line, SmdVertex& vertex) {
    vertex.fields = fields_of(line);
    std::istringstream fields(line);
    fields >> vertex.parent >> vertex.position[0] >> vertex.position[1] >> vertex.position[2] >> vertex.normal[0] >>
        vertex.normal[1] >> vertex.normal[2] >> vertex.u >> vertex.v;
    if (!fields) return false;
    int count = 0;
    if (fields >> count) {
        for (int i = 0; i < count; ++i) {
            SmdLink link;
            if (!(fields >> link.node >> link.weight)) return false;
            vertex.links.push_back(link);
        }
    }
    return true;
}

}  // namespace

SmdFile read_smd(const std::string& text) {
    SmdFile file;
    std::istringstream in(text);
    std::string line;
    auto fail = [&](const std::string& why) {
        if (file.error.empty()) file.error = why + ": \"" + line + "\"";
    };
    if (!std::getline(in, line) || line != "version 1") fail("header");
    if (!std::getline(in, line) || line != "nodes") fail("nodes");
    while (std::getline(in, line) && line != "end") {
        const std::size_t open = line.find('"'), close = line.rfind('"');
        if (open == std::string::npos || close == open) {
            fail("node line");
            break;
        }
        SmdNode node;
        node.index = std::atoi(line.substr(0, open).c_str());
        node.name = line.substr(open + 1, close - open - 1);
        node.parent = std::atoi(line.substr(close + 1).c_str());
        file.nodes.push_back(node);
    }
    if (!std::getline(in, line) || line != "skeleton") fail("skeleton");
    while (std::getline(in, line) && line != "end") {
        const std::vector<std::string> words = fields_of(line);
        if (words.size() == 2 && words[0] == "time") {  // the animation exporter may indent it
            file.frames.push_back(SmdFrame{std::atoi(words[1].c_str()), {}});
            continue;
        }
        std::istringstream fields(line);
        SmdBone bone;
        fields >> bone.node >> bone.position[0] >> bone.position[1] >> bone.position[2] >> bone.rotation[0] >>
            bone.rotation[1] >> bone.rotation[2];
        if (!fields || file.frames.empty()) fail("bone line");
        if (file.frames.empty()) file.frames.emplace_back();
        file.frames.back().bones.push_back(bone);
    }
    if (line != "end") fail("no end of skeleton");
    if (!std::getline(in, line)) return file;  // an animation: no triangles
    if (line != "triangles") fail("triangles");
    file.has_triangles = true;
    while (std::getline(in, line) && line != "end") {
        SmdTriangle triangle;
        triangle.material = line;
        for (SmdVertex& vertex : triangle.corners) {
            if (!std::getline(in, line)) fail("vertex line missing");
            if (!read_vertex(line, vertex)) fail("vertex line");
        }
        file.triangles.push_back(triangle);
    }
    if (line != "end") fail("no end of triangles");
    return file;
}

std::vector<std::string> smd_triangle_lines(const std::string& text) {
    std::vector<std::string> out;
    bool inside = false;
    for (const std::string& line : lines_of(text)) {
        if (!inside) {
            inside = line == "triangles";
        } else if (line == "end") {
            break;
        } else {
            out.push_back(line);
        }
    }
    return out;
}

}  // namespace test_support
