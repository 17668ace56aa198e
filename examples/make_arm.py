#!/usr/bin/env python3
"""Writes the bundled sample: a rigged arm as an SMD reference file
(arm_ref.smd) and a 30-frame wave as an SMD sequence file (arm_wave.smd).

    python3 make_arm.py [OUTPUT_FOLDER]

The model is built so that a trip through LightWave and back gives the same
file, number for number within the six printed decimals:
  * every vertex's normal is the normalised sum of the unit face normals of
    the triangles around its position (the exporters' smoothing, with every
    surface smoothed at 180 degrees as the importer sets it);
  * normals and weights are functions of the position, and no two pieces
    meet at a position, so the importer joins exactly the vertices that the
    exporters smooth together;
  * weights are sums of powers of two (exact in float), at most three a
    vertex, written largest first with the largest as the parent.
Only the standard library is used, and the output is the same on every
machine (the numbers pass through Python's own "%f").
"""
import math
import os
import sys

NODES = [  # index, name, parent
    (0, "shoulder", -1),
    (1, "upperarm", 0),
    (2, "forearm", 1),
    (3, "hand", 2),
    (4, "fingers", 3),
    (5, "grip_attach", 3),  # a null bone: an attachment point, no vertex follows it
]

REST = {  # node: position relative to the parent, rotation (radians, X then Y then Z)
    0: ((0.0, 0.0, 40.0), (0.0, 0.0, 0.0)),
    1: ((2.0, 0.0, 0.0), (0.0, 0.0, 0.0)),
    2: ((10.0, 0.0, 0.0), (0.0, 0.0, 0.0)),
    3: ((12.0, 0.0, 0.0), (0.0, 0.0, 0.0)),
    4: ((4.5, 0.0, 0.0), (0.0, 0.0, 0.0)),
    5: ((3.0, -2.0, 0.0), (math.pi / 2, 0.0, 0.0)),
}

HEIGHT = 40.0   # the arm's axis runs along X at this height
SIDES = 12


def arm_weights(x):
    """Bone weights along the arm tube, by ring."""
    table = {
        0: {0: 0.625, 1: 0.375},
        3: {1: 0.75, 0: 0.25},
        6: {1: 1.0},
        9: {1: 0.875, 2: 0.125},
        12: {1: 0.5, 2: 0.375, 0: 0.125},   # the elbow: three bones
        15: {2: 0.75, 1: 0.25},
        18: {2: 1.0},
        21: {2: 0.875, 3: 0.125},
        24: {2: 0.5, 3: 0.375, 1: 0.125},   # the wrist: three bones
    }
    return table[int(round(x))]


class Mesh:
    def __init__(self):
        self.triangles = []   # (material, [(position, uv, weights)] * 3)

    def triangle(self, material, a, b, c):
        self.triangles.append((material, [a, b, c]))

    def quad(self, material, a, b, c, d):
        """a b c d in turning order; split along a-c."""
        self.triangle(material, a, b, c)
        self.triangle(material, a, c, d)


def point(x, y, z):
    """A position as the file prints it: six decimals, and no negative zero
    (which the importer would keep apart from zero)."""
    return tuple(round(c, 6) + 0.0 for c in (x, y, z))


def sub(p, q):
    return (p[0] - q[0], p[1] - q[1], p[2] - q[2])


def cross(p, q):
    return (p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0])


def unit(v):
    length = math.sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])
    return (v[0] / length, v[1] / length, v[2] / length)


def tube(mesh, material, rings, radius, weights, v_range):
    """A tube along X, open at both ends; rings are x positions."""
    def corner(i, j):
        x = rings[i]
        angle = 2 * math.pi * (j % SIDES) / SIDES
        r = radius(x)
        position = point(x, r * math.cos(angle), HEIGHT + r * math.sin(angle))
        v = v_range[0] + (v_range[1] - v_range[0]) * i / (len(rings) - 1)
        return (position, (j / SIDES, v), weights(x))
    for i in range(len(rings) - 1):
        for j in range(SIDES):
            # Outward facing: around the X axis, counter-clockwise seen from +X.
            mesh.quad(material, corner(i, j), corner(i + 1, j), corner(i + 1, j + 1), corner(i, j + 1))
    return corner


def box(mesh, material, low, high, weights, divisions, uv_origin, uv_size):
    """An axis-aligned box, each face divided into divisions x divisions quads,
    each face mapped onto its own cell of a 3 x 2 grid in UV space."""
    faces = [  # (fixed axis, side, first free axis, second free axis)
        (0, 0, 2, 1), (0, 1, 1, 2),
        (1, 0, 0, 2), (1, 1, 2, 0),
        (2, 0, 1, 0), (2, 1, 0, 1),
    ]
    for index, (axis, side, s_axis, t_axis) in enumerate(faces):
        cell_u = uv_origin[0] + uv_size[0] * (index % 3) / 3
        cell_v = uv_origin[1] + uv_size[1] * (index // 3) / 2

        def corner(s, t):
            p = [0.0, 0.0, 0.0]
            p[axis] = high[axis] if side else low[axis]
            p[s_axis] = low[s_axis] + (high[s_axis] - low[s_axis]) * s / divisions
            p[t_axis] = low[t_axis] + (high[t_axis] - low[t_axis]) * t / divisions
            p = point(*p)
            uv = (cell_u + uv_size[0] / 3 * (0.1 + 0.8 * s / divisions),
                  cell_v + uv_size[1] / 2 * (0.1 + 0.8 * t / divisions))
            return (p, uv, weights(p))
        for s in range(divisions):
            for t in range(divisions):
                mesh.quad(material, corner(s, t), corner(s + 1, t), corner(s + 1, t + 1), corner(s, t + 1))


def build_arm():
    mesh = Mesh()
    skin, metal, glove = "arm_skin.bmp", "bracer_metal.bmp", "glove.bmp"

    # The arm: a tapering tube from the shoulder to the wrist, closed at the
    # shoulder by a fan whose UVs sit in a corner of the map (a UV seam all
    # round the first ring, and another where the tube's u wraps from 1 to 0).
    rings = [3.0 * i for i in range(9)]
    arm_corner = tube(mesh, skin, rings, lambda x: 3.0 - 0.025 * x, arm_weights, (0.05, 0.75))
    centre = (point(0.0, 0.0, HEIGHT), (0.15, 0.88), arm_weights(0))
    for j in range(SIDES):
        first, second = arm_corner(0, j), arm_corner(0, j + 1)
        def cap_uv(c, j):
            angle = 2 * math.pi * (j % SIDES) / SIDES
            return (c[0], (0.15 + 0.1 * math.cos(angle), 0.88 + 0.1 * math.sin(angle)), c[2])
        mesh.triangle(skin, centre, cap_uv(second, j + 1), cap_uv(first, j))

    # The bracer: a metal sleeve over the forearm.
    tube(mesh, metal, [15.0, 18.0, 21.0], lambda x: 2.9,
         lambda x: {2: 1.0} if x < 20 else {2: 0.875, 3: 0.125}, (0.1, 0.9))

    # The hand and three fingers, one glove.
    box(mesh, glove, (24.0, -2.2, HEIGHT - 1.2), (28.5, 2.2, HEIGHT + 1.2),
        lambda p: {3: 0.75, 2: 0.25} if p[0] == 24.0 else {3: 1.0}, 2, (0.0, 0.0), (1.0, 0.5))
    for k, y in enumerate((-1.4, 0.0, 1.4)):
        box(mesh, glove, (28.5, y - 0.6, HEIGHT - 0.6), (32.5, y + 0.6, HEIGHT + 0.6),
            lambda p: {4: 0.625, 3: 0.375} if p[0] == 28.5 else {4: 1.0}, 1,
            (0.0, 0.5 + 0.5 * k / 3), (1.0, 0.5 / 3))
    return mesh


def smoothed_normals(mesh):
    """Per material and position: the normalised sum of the unit face normals."""
    sums = {}
    for material, corners in mesh.triangles:
        a, b, c = (corner[0] for corner in corners)
        n = unit(cross(sub(b, a), sub(c, a)))
        for p in (a, b, c):
            key = (material, p)
            s = sums.get(key, (0.0, 0.0, 0.0))
            sums[key] = (s[0] + n[0], s[1] + n[1], s[2] + n[2])
    return {key: unit(s) for key, s in sums.items()}


def vertex_line(position, normal, uv, weights):
    links = sorted(weights.items(), key=lambda item: -item[1])
    text = "%d %f %f %f %f %f %f %f %f" % ((links[0][0],) + position + normal + uv)
    if len(links) > 1:
        text += " %d" % len(links) + "".join(" %d %f" % link for link in links)
    return text


def nodes_text():
    return "nodes\n" + "".join('%d "%s" %d\n' % node for node in NODES) + "end\n"


def pose_line(node, position, rotation):
    return "%d %f %f %f %f %f %f\n" % ((node,) + tuple(position) + tuple(rotation))


def reference_text(mesh):
    normals = smoothed_normals(mesh)
    out = ["version 1\n", nodes_text(), "skeleton\ntime 0\n"]
    out += [pose_line(node, *REST[node]) for node, _, _ in NODES]
    out.append("end\ntriangles\n")
    for material, corners in mesh.triangles:
        out.append(material + "\n")
        for position, uv, weights in corners:
            out.append(vertex_line(position, normals[(material, position)], uv, weights) + "\n")
    out.append("end\n")
    return "".join(out)


FRAMES = 30


def wave_pose(node, frame):
    """The wave: the shoulder lifts the arm, the elbow bends and the hand
    waves twice; the attachment point rides along unchanged."""
    position, rotation = REST[node]
    phase = 2 * math.pi * frame / (FRAMES - 1)
    rx, ry, rz = rotation
    px, py, pz = position
    if node == 0:
        ry -= 0.5 * (1 - math.cos(phase)) / 2
        pz += 0.25 * math.sin(phase)
    elif node == 1:
        rz += 0.2 * math.sin(phase)
    elif node == 2:
        rz += 0.9 * (1 - math.cos(phase)) / 2
    elif node == 3:
        rz += 0.4 * math.sin(2 * phase)
        rx += 0.15 * math.sin(phase)
    elif node == 4:
        ry += 0.3 * (1 - math.cos(2 * phase)) / 2
    return (px, py, pz), (rx, ry, rz)


def sequence_text():
    out = ["version 1\n", nodes_text(), "skeleton\n"]
    for frame in range(FRAMES):
        out.append("time %d\n" % frame)
        out += [pose_line(node, *wave_pose(node, frame)) for node, _, _ in NODES]
    out.append("end\n")
    return "".join(out)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, text in (("arm_ref.smd", reference_text(build_arm())), ("arm_wave.smd", sequence_text())):
        with open(os.path.join(folder, name), "w", newline="\n") as out:
            out.write(text)


if __name__ == "__main__":
    main()
