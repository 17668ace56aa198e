#include "smd_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string_view>

namespace lwcli {

namespace {

// ---- reading ------------------------------------------------------------------

// The blank-separated tokens of a line; a quoted token loses its quotes.
std::vector<std::string_view> tokens_of(std::string_view line) {
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
        if (at >= line.size()) break;
        if (line[at] == '"') {
            const std::size_t close = line.find('"', at + 1);
            const std::size_t end = close == std::string_view::npos ? line.size() : close;
            tokens.push_back(line.substr(at + 1, end - at - 1));
            at = end + 1;
            continue;
        }
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r') ++at;
        tokens.push_back(line.substr(start, at - start));
    }
    return tokens;
}

template <typename T>
bool number(std::string_view token, T& out) {
    const char* end = token.data() + token.size();
    auto [next, error] = std::from_chars(token.data(), end, out);
    return error == std::errc{} && next == end;
}

template <typename T>
bool numbers(const std::vector<std::string_view>& tokens, std::size_t first, std::size_t count, T* out) {
    if (tokens.size() < first + count) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (!number(tokens[first + i], out[i])) return false;
    return true;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool read_corner(const std::vector<std::string_view>& t, SmdModelCorner& corner) {
    double values[8];
    if (t.empty() || !number(t[0], corner.parent) || !numbers(t, 1, 8, values)) return false;
    std::copy(values, values + 3, corner.position);
    std::copy(values + 3, values + 6, corner.normal);
    std::copy(values + 6, values + 8, corner.uv);
    int links = 0;
    if (t.size() > 9 && (!number(t[9], links) || links < 0 || t.size() < 10 + 2 * std::size_t(links))) return false;
    for (int i = 0; i < links; ++i) {
        SmdModelLink link;
        if (!number(t[10 + 2 * i], link.node) || !number(t[11 + 2 * i], link.weight)) return false;
        corner.links.push_back(link);
    }
    return true;
}

}  // namespace

bool read_smd_model(const std::string& file, SmdModel& out, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = file + ": cannot be read";
        return false;
    }
    read_smd_model(in, out);
    return true;
}

void read_smd_model(std::istream& in, SmdModel& out) {
    out = SmdModel{};
    enum class Section { None, Nodes, Skeleton, Triangles, Other } section = Section::None;
    SmdModelTriangle triangle;
    int corner = -1;   // -1: the next line names a material
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string_view> t = tokens_of(line);
        if (t.empty()) continue;
        const std::string word = lower(t[0]);
        if (section == Section::None) {
            if (word == "nodes") section = Section::Nodes;
            else if (word == "skeleton") section = Section::Skeleton;
            else if (word == "triangles") section = Section::Triangles;
            else if (word == "vertexanimation") section = Section::Other;
            continue;
        }
        if (word == "end" && t.size() == 1) {
            if (section == Section::Triangles && corner > 0) ++out.skipped_lines;   // a triangle cut short
            section = Section::None;
            corner = -1;
            continue;
        }
        bool read = true;
        switch (section) {
        case Section::Nodes: {
            SmdModelNode node;
            read = t.size() >= 3 && number(t[0], node.index) && number(t[2], node.parent);
            if (read) {
                node.name = std::string(t[1]);
                out.nodes.push_back(std::move(node));
            }
            break;
        }
        case Section::Skeleton: {
            long time = 0;
            if (word == "time") {
                read = t.size() == 2 && number(t[1], time);
                if (read) out.frames.push_back(SmdModelFrame{time, {}});
                break;
            }
            SmdModelPose pose;
            double values[6];
            read = !out.frames.empty() && number(t[0], pose.node) && numbers(t, 1, 6, values);
            if (read) {
                std::copy(values, values + 3, pose.position);
                std::copy(values + 3, values + 6, pose.rotation);
                out.frames.back().poses.push_back(pose);
            }
            break;
        }
        case Section::Triangles:
            if (corner < 0) {
                triangle = SmdModelTriangle{};
                const std::size_t first = line.find_first_not_of(" \t");
                triangle.material = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
                corner = 0;
                break;
            }
            read = read_corner(t, triangle.corners[corner]);
            if (!read) {
                corner = -1;   // the next line starts a new triangle
                break;
            }
            if (++corner == 3) {
                out.triangles.push_back(std::move(triangle));
                corner = -1;
            }
            break;
        case Section::None:
        case Section::Other:
            break;
        }
        if (!read) ++out.skipped_lines;
    }
}

namespace {

std::string count_of(std::size_t count, const char* thing) {
    std::string text = std::to_string(count) + " " + thing;
    if (count != 1) text += "s";
    return text;
}

}  // namespace

std::string describe(const SmdModel& model) {
    std::set<std::string_view> materials;
    for (const SmdModelTriangle& triangle : model.triangles) materials.insert(triangle.material);
    std::string text;
    // A sequence file has no triangles to speak of.
    if (!model.triangles.empty() || model.frames.size() <= 1)
        text = count_of(model.triangles.size(), "triangle") + ", " + count_of(materials.size(), "material") + ", ";
    text += count_of(model.nodes.size(), "node") + ", " + count_of(model.frames.size(), "frame");
    if (model.skipped_lines > 0) text += ", " + count_of(std::size_t(model.skipped_lines), "line") + " skipped";
    return text;
}

// ---- comparing ----------------------------------------------------------------

namespace {

constexpr std::size_t kDifferencesKept = 5;
constexpr double kPositionTolerance = 1e-4;   // relative to the size, at least absolute
constexpr double kRotationTolerance = 1e-4;   // in a rotation matrix's entries
constexpr double kNormalTolerance = 1e-3;     // normals are recomputed in float
constexpr double kUvTolerance = 1e-5;
constexpr double kWeightTolerance = 1e-4;

std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

double position_error(const double a[3], const double b[3]) {
    double worst = 0;
    for (int k = 0; k < 3; ++k) worst = std::max(worst, std::fabs(a[k] - b[k]) / std::max(1.0, std::fabs(a[k])));
    return worst;
}

double largest_difference(const double* a, const double* b, int n) {
    double worst = 0;
    for (int k = 0; k < n; ++k) worst = std::max(worst, std::fabs(a[k] - b[k]));
    return worst;
}

// R = Rz Ry Rx: the turn about X comes first.
void rotation_matrix(const double r[3], double m[3][3]) {
    const double cx = std::cos(r[0]), sx = std::sin(r[0]), cy = std::cos(r[1]), sy = std::sin(r[1]),
                 cz = std::cos(r[2]), sz = std::sin(r[2]);
    m[0][0] = cz * cy;
    m[0][1] = cz * sy * sx - sz * cx;
    m[0][2] = cz * sy * cx + sz * sx;
    m[1][0] = sz * cy;
    m[1][1] = sz * sy * sx + cz * cx;
    m[1][2] = sz * sy * cx - cz * sx;
    m[2][0] = -sy;
    m[2][1] = cy * sx;
    m[2][2] = cy * cx;
}

double turn_difference(const double a[3], const double b[3]) {
    double ma[3][3], mb[3][3];
    rotation_matrix(a, ma);
    rotation_matrix(b, mb);
    return largest_difference(&ma[0][0], &mb[0][0], 9);
}

std::map<int, std::string> names_by_index(const SmdModel& model) {
    std::map<int, std::string> names;
    for (const SmdModelNode& node : model.nodes) names[node.index] = node.name;
    return names;
}

std::string name_of(const std::map<int, std::string>& names, int index) {
    auto found = names.find(index);
    if (found != names.end()) return found->second;
    // Appended, not "#" + to_string(): g++ 12 warns falsely (-Wrestrict) on that.
    std::string text = "#";
    text += std::to_string(index);
    return text;
}

// Every frame's pose of every node, by node name, carried forward.
std::vector<std::map<std::string, SmdModelPose>> poses_by_frame(const SmdModel& model) {
    const std::map<int, std::string> names = names_by_index(model);
    std::vector<std::map<std::string, SmdModelPose>> frames;
    std::map<std::string, SmdModelPose> current;
    for (const SmdModelFrame& frame : model.frames) {
        for (const SmdModelPose& pose : frame.poses) current[name_of(names, pose.node)] = pose;
        frames.push_back(current);
    }
    return frames;
}

struct CornerErrors {
    double position = 0, normal = 0, uv = 0, weight = 0;
    bool links_differ = false;
};

// The weights of a corner by node name (its parent wholly when it has no links).
std::map<std::string, double> weights_of(const SmdModelCorner& corner, const std::map<int, std::string>& names) {
    std::map<std::string, double> weights;
    if (corner.links.empty()) weights[name_of(names, corner.parent)] = 1.0;
    for (const SmdModelLink& link : corner.links) weights[name_of(names, link.node)] += link.weight;
    return weights;
}

void add_corner_errors(const SmdModelCorner& a, const SmdModelCorner& b, bool links,
                       const std::map<int, std::string>& names_a, const std::map<int, std::string>& names_b,
                       CornerErrors& errors) {
    errors.position = std::max(errors.position, position_error(a.position, b.position));
    errors.normal = std::max(errors.normal, largest_difference(a.normal, b.normal, 3));
    errors.uv = std::max(errors.uv, largest_difference(a.uv, b.uv, 2));
    // Weights are gathered by name, which costs more: only for corners that
    // are otherwise the same.
    if (!links || errors.position > kPositionTolerance || errors.normal > kNormalTolerance || errors.uv > kUvTolerance)
        return;
    if (name_of(names_a, a.parent) != name_of(names_b, b.parent)) errors.links_differ = true;
    const auto wa = weights_of(a, names_a), wb = weights_of(b, names_b);
    if (wa.size() != wb.size()) {
        errors.links_differ = true;
        return;
    }
    for (auto ia = wa.begin(), ib = wb.begin(); ia != wa.end(); ++ia, ++ib) {
        if (ia->first != ib->first) errors.links_differ = true;
        else errors.weight = std::max(errors.weight, std::fabs(ia->second - ib->second));
    }
}

bool within(const CornerErrors& e) {
    return e.position <= kPositionTolerance && e.normal <= kNormalTolerance && e.uv <= kUvTolerance &&
           e.weight <= kWeightTolerance && !e.links_differ;
}

double centroid_x(const SmdModelTriangle& triangle) {
    return (triangle.corners[0].position[0] + triangle.corners[1].position[0] + triangle.corners[2].position[0]) / 3;
}

}  // namespace

void SmdComparison::differ(std::string text) {
    matched = false;
    if (differences.size() < kDifferencesKept) differences.push_back(std::move(text));
}

SmdComparison compare_skeletons(const SmdModel& original, const SmdModel& copy) {
    SmdComparison result;
    const std::map<int, std::string> names_a = names_by_index(original), names_b = names_by_index(copy);
    std::map<std::string, std::string> parents_b;
    for (const SmdModelNode& node : copy.nodes) parents_b[node.name] = node.parent < 0 ? "" : name_of(names_b, node.parent);
    if (original.nodes.size() != copy.nodes.size())
        result.differ(std::to_string(original.nodes.size()) + " nodes became " + std::to_string(copy.nodes.size()));
    for (const SmdModelNode& node : original.nodes) {
        auto found = parents_b.find(node.name);
        const std::string parent = node.parent < 0 ? "" : name_of(names_a, node.parent);
        if (found == parents_b.end()) result.differ("node \"" + node.name + "\" is missing");
        else if (found->second != parent)
            result.differ("node \"" + node.name + "\" hangs from \"" + found->second + "\", not \"" + parent + "\"");
    }
    if (original.frames.size() != copy.frames.size())
        result.differ(std::to_string(original.frames.size()) + " frames became " + std::to_string(copy.frames.size()));
    const auto frames_a = poses_by_frame(original), frames_b = poses_by_frame(copy);
    for (std::size_t f = 0; f < std::min(frames_a.size(), frames_b.size()); ++f) {
        const std::string at = "frame " + std::to_string(original.frames[f].time);
        if (original.frames[f].time != copy.frames[f].time)
            result.differ(at + " is numbered " + std::to_string(copy.frames[f].time));
        for (const auto& [name, pose] : frames_a[f]) {
            auto found = frames_b[f].find(name);
            if (found == frames_b[f].end()) {
                result.differ(at + ": node \"" + name + "\" has no pose");
                continue;
            }
            const double position = position_error(pose.position, found->second.position);
            const double rotation = turn_difference(pose.rotation, found->second.rotation);
            result.worst_position = std::max(result.worst_position, position);
            result.worst_rotation = std::max(result.worst_rotation, rotation);
            if (position > kPositionTolerance || rotation > kRotationTolerance)
                result.differ(at + ": node \"" + name + "\" is at " + number_text(found->second.position[0]) + " " +
                              number_text(found->second.position[1]) + " " + number_text(found->second.position[2]) +
                              ", not " + number_text(pose.position[0]) + " " + number_text(pose.position[1]) + " " +
                              number_text(pose.position[2]) + ", or turned otherwise");
        }
    }
    return result;
}

SmdComparison compare_triangles(const SmdModel& original, const SmdModel& copy, bool links) {
    SmdComparison result;
    if (original.triangles.size() != copy.triangles.size())
        result.differ(std::to_string(original.triangles.size()) + " triangles became " +
                      std::to_string(copy.triangles.size()));
    const std::map<int, std::string> names_a = names_by_index(original), names_b = names_by_index(copy);

    // The copy's triangles by centroid, so that each original looks only at
    // the few whose centroid lies within the tolerance of its own.
    std::vector<std::pair<double, std::size_t>> by_x;
    for (std::size_t i = 0; i < copy.triangles.size(); ++i) by_x.emplace_back(centroid_x(copy.triangles[i]), i);
    std::sort(by_x.begin(), by_x.end());
    std::vector<bool> used(copy.triangles.size(), false);

    for (std::size_t i = 0; i < original.triangles.size(); ++i) {
        const SmdModelTriangle& a = original.triangles[i];
        const double x = centroid_x(a), reach = kPositionTolerance * std::max(1.0, std::fabs(x)) * 3;
        auto from = std::lower_bound(by_x.begin(), by_x.end(), std::make_pair(x - reach, std::size_t(0)));
        bool found = false;
        for (auto it = from; it != by_x.end() && it->first <= x + reach && !found; ++it) {
            if (used[it->second]) continue;
            const SmdModelTriangle& b = copy.triangles[it->second];
            if (a.material != b.material) continue;
            for (int turn = 0; turn < 3 && !found; ++turn) {
                CornerErrors errors;
                bool same = true;
                for (int c = 0; c < 3 && same; ++c) {
                    add_corner_errors(a.corners[c], b.corners[(c + turn) % 3], links, names_a, names_b, errors);
                    same = within(errors);
                }
                if (!same) continue;
                found = true;
                used[it->second] = true;
                result.worst_position = std::max(result.worst_position, errors.position);
                result.worst_normal = std::max(result.worst_normal, errors.normal);
                result.worst_uv = std::max(result.worst_uv, errors.uv);
                result.worst_weight = std::max(result.worst_weight, errors.weight);
            }
        }
        if (!found) {
            const double* p = a.corners[0].position;
            result.differ("triangle " + std::to_string(i + 1) + " (" + a.material + ", at " + number_text(p[0]) + " " +
                          number_text(p[1]) + " " + number_text(p[2]) + ") has no counterpart");
        }
    }
    return result;
}

}  // namespace lwcli
