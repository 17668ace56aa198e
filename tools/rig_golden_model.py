#!/usr/bin/env python3
"""Independent model of the reference SMD export of the golden 'rig' scene,
written independently of the plug-in from the file format and export rules (geometry, smoothing, UVs, bones with
pivot, weights with the first-smaller rule, writer format, rotation math in
32-bit floats). Prints the expected files into a folder."""
import math, struct, sys, os

def f32(x):
    return struct.unpack('f', struct.pack('f', x))[0]

def fmt(x):
    return '%06.6f' % x

# ---------------- scene (host axes) ----------------
P = {
    'p0': (0, 0, 0), 'p1': (1, 0, 0), 'p2': (1, 1, 0), 'p3': (0, 1, 0),
    'p4': (0, -1, 1), 'p5': (0, 2, 1), 'p6': (2, 0, 0), 'p7': (2, 1, 0),
}
P = {k: tuple(f32(c) for c in v) for k, v in P.items()}
# polygons in creation (scan) order: (name, type, points, surface)
POLYS = [
    ('Q', 'FACE', ['p0', 'p1', 'p2', 'p3'], 'Skin'),
    ('T', 'FACE', ['p0', 'p4', 'p1'], 'Skin'),
    ('M', 'FACE', ['p3', 'p2', 'p5'], 'Metal'),
    ('N', 'FACE', ['p1', 'p6', 'p7'], 'Skin'),
    ('S', 'PTCH', ['p0', 'p1', 'p2', 'p3'], 'Skin'),
    ('F', 'FACE', ['p0', 'p1', 'p6', 'p7', 'p2'], 'Skin'),
    ('D', 'FACE', ['p2', 'p7'], 'Skin'),
]
SURF = {'Skin': {'smooth': math.radians(89.5), 'image': 'Skin Color'},
        'Metal': {'smooth': 0.0, 'image': None}}
# UV maps in scene order: per-point values and per-polygon values
UV = [
    ('Main', {'p0': (0, 0), 'p1': (1, 0), 'p2': (1, 1), 'p3': (0, 1), 'p5': (0.5, 0.5)},
     {('M', 'p3'): (0.25, 0.75)}),
    ('Detail Map', {'p0': (0.125, 0.25), 'p4': (0.5, 0.875), 'p1': (0.875, 0.25)}, {}),
]
# weight maps in scene order
WMAPS = ['Arm', 'Unused', 'Hip', 'Spine', 'TailTip', 'Hand']
W = {
    'p0': {'Spine': 1.0},
    'p1': {'Hip': 0.2, 'Spine': 0.6},
    'p2': {'Arm': 0.3, 'Unused': 0.9, 'Hip': 0.1, 'Spine': 0.2, 'TailTip': 0.25, 'Hand': 0.4},
    'p3': {'TailTip': 0.0},
    'p4': {'Arm': 0.5, 'Hand': 0.5},
    'p6': {'Hip': 1.0}, 'p7': {'Hip': 1.0},
}
OBJECT_POS = (1.0, 0.0, 0.0)
R = math.pi
# bones in depth-first order: name, parent, rest pos, rest hpb, pivot hpb, weight map
BONES = [
    ('Hip', None, (0, 0.5, 0), (0, 0, 0), (0, 0, 0), 'Hip'),
    ('Spine', 'Hip', (0, 0.5, 0), (R / 2, 0, 0), (0, 0, 0), 'Spine'),
    ('Tail', 'Hip', (0, 0, -0.5), (0, -R / 4, 0), (0, 0, 0), None),
    ('TailTip', 'Tail', (0, 0, -0.25), (0, 0, R / 3), (0, 0, 0), 'TailTip'),
    ('Arm', None, (0.5, 1, 0), (0, R / 6, 0), (R / 2, 0, 0), 'Arm'),
    ('Hand', 'Arm', (0, 0.5, 0), (0, 0, 0), (0, 0, 0), 'Hand'),
]

# ---------------- rotation math (32-bit floats) ----------------
SAFE = [0, 1, 2, 0]
NEXT = [1, 2, 0, 1]

def decode(o):
    f = o & 1; s = (o >> 1) & 1; n = (o >> 2) & 1
    i = SAFE[(o >> 3) & 3]; j = NEXT[i + n]; k = NEXT[i + 1 - n]
    return i, j, k, n, s, f

def euler_to_matrix(x, y, z, o):
    i, j, k, n, s, f = decode(o)
    x, y, z = f32(x), f32(y), f32(z)
    if f: x, z = z, x
    if n: x, y, z = -x, -y, -z
    ci, cj, ch = f32(math.cos(x)), f32(math.cos(y)), f32(math.cos(z))
    si, sj, sh = f32(math.sin(x)), f32(math.sin(y)), f32(math.sin(z))
    cc, cs, sc, ss = f32(ci * ch), f32(ci * sh), f32(si * ch), f32(si * sh)
    M = [[0.0] * 4 for _ in range(4)]
    assert not s
    M[i][i] = f32(cj * ch)
    M[i][j] = f32(f32(sj * sc) - cs)
    M[i][k] = f32(f32(sj * cc) + ss)
    M[j][i] = f32(cj * sh)
    M[j][j] = f32(f32(sj * ss) + cc)
    M[j][k] = f32(f32(sj * cs) - sc)
    M[k][i] = -sj
    M[k][j] = f32(cj * si)
    M[k][k] = f32(cj * ci)
    M[3][3] = 1.0
    return M

def matrix_to_euler(M, o):
    i, j, k, n, s, f = decode(o)
    t = 2.0 ** -19
    cy = math.sqrt(f32(f32(M[i][i] * M[i][i]) + f32(M[j][i] * M[j][i])))
    if cy > t:
        x = f32(math.atan2(M[k][j], M[k][k])); y = f32(math.atan2(-M[k][i], cy)); z = f32(math.atan2(M[j][i], M[i][i]))
    else:
        x = f32(math.atan2(-M[j][k], M[j][j])); y = f32(math.atan2(-M[k][i], cy)); z = 0.0
    if n: x, y, z = -x, -y, -z
    if f: x, z = z, x
    return x, y, z

def hpb_to_smd(h, p, b):
    x, y, z = matrix_to_euler(euler_to_matrix(h, p, b, 17), 4)
    return -x, -y, -z

def mat_mul(A, B):
    n = len(A)
    return [[f32(sum(A[r][t] * B[t][c] for t in range(n))) for c in range(n)] for r in range(n)]

def hpb_to_matrix(h, p, b):
    sh, ch = f32(math.sin(h)), f32(math.cos(h))
    sp, cp = f32(math.sin(p)), f32(math.cos(p))
    sb, cb = f32(math.sin(b)), f32(math.cos(b))
    Bm = [[cb, sb, 0.0], [-sb, cb, 0.0], [0.0, 0.0, 1.0]]
    Pm = [[1.0, 0.0, 0.0], [0.0, cp, sp], [0.0, -sp, cp]]
    Hm = [[ch, 0.0, -sh], [0.0, 1.0, 0.0], [sh, 0.0, ch]]
    R3 = mat_mul(mat_mul(Bm, Pm), Hm)
    M = [[1.0 if r == c else 0.0 for c in range(4)] for r in range(4)]
    for r in range(3):
        for c in range(3):
            M[r][c] = R3[r][c]
    return M

def matrix_to_hpb(M):
    a = -M[2][1]
    if M[2][1] > 1: a = -1.0
    if M[2][1] < -1: a = 1.0
    p = f32(math.asin(a))
    c = math.cos(p)
    h = f32(math.atan2(M[2][0] / c, M[2][2] / c))
    b = f32(math.atan2(M[0][1] / c, M[1][1] / c))
    return h, p, b

# ---------------- geometry ----------------
def sub(a, b): return tuple(f32(a[k] - b[k]) for k in range(3))
def cross(a, b):
    return (f32(f32(a[1] * b[2]) - f32(a[2] * b[1])), f32(f32(a[2] * b[0]) - f32(a[0] * b[2])),
            f32(f32(a[0] * b[1]) - f32(a[1] * b[0])))
def normalize(v):
    l = f32(math.sqrt(f32(f32(f32(v[0] * v[0]) + f32(v[1] * v[1])) + f32(v[2] * v[2]))))
    if l > 0: return tuple(f32(c / l) for c in v)
    return v
def dot(a, b): return f32(f32(f32(a[0] * b[0]) + f32(a[1] * b[1])) + f32(a[2] * b[2]))

polys = []
for name, typ, pts, surf in POLYS:
    valid = typ == 'FACE' and len(pts) in (3, 4)
    polys.append({'name': name, 'type': typ, 'pts': pts, 'surf': surf, 'valid': valid,
                  'has_uv': 0, 'uv': [(0.0, 0.0)] * len(pts), 'uv_map': None})
for p in polys:
    if not p['valid']: continue
    pos = [P[q] for q in p['pts']]
    p['n'] = normalize(cross(sub(pos[1], pos[0]), sub(pos[-1], pos[0])))
point_polys = {}
for p in polys:
    if p['valid']:
        for q in p['pts']:
            point_polys.setdefault(q, [])
            if p['name'] not in point_polys[q]: point_polys[q].append(p['name'])
by_name = {p['name']: p for p in polys}
for p in polys:
    if not p['valid']: continue
    ang = SURF[p['surf']]['smooth']
    norms = []
    for q in p['pts']:
        if ang > 0:
            s = list(p['n'])
            for other in point_polys[q]:
                if other == p['name']: continue
                o = by_name[other]
                d = dot(p['n'], o['n'])
                within = True if (d > 1 or d < -1) else f32(math.acos(d)) <= f32(ang)
                if within:
                    s = [s[k] + o['n'][k] for k in range(3)]
            norms.append(normalize(tuple(f32(c) for c in s)))
        else:
            norms.append(p['n'])
    p['norms'] = norms
# UVs
for mapname, perpoint, perpoly in UV:
    for p in polys:
        if not p['valid'] or p['has_uv']: continue
        p['has_uv'] = 1
        uvs = list(p['uv'])
        for c, q in enumerate(p['pts']):
            v = perpoly.get((p['name'], q))
            if v is None: v = perpoint.get(q)
            if v is None:
                p['has_uv'] = 0
                break
            uvs[c] = (f32(v[0]), f32(v[1]))
        p['uv'] = uvs
        if p['has_uv']: p['uv_map'] = mapname

# bones
bone_index = {b[0]: i for i, b in enumerate(BONES)}
bone_lines = []
for name, parent, pos, rest, pivot, wmap in BONES:
    if parent is None:
        pos = tuple(pos[k] + OBJECT_POS[k] for k in range(3))
    I = [[1.0 if r == c else 0.0 for c in range(4)] for r in range(4)]
    M = mat_mul(mat_mul(I, hpb_to_matrix(*rest)), hpb_to_matrix(*pivot))
    hpb = matrix_to_hpb(M)
    rot = hpb_to_smd(*hpb)
    bone_lines.append((bone_index[name], pos, rot))

# weights per point
def influences(q):
    slots = [[0.0, None] for _ in range(3)]
    named = {b[5] for b in BONES if b[5]}
    for m in WMAPS:
        if m not in named: continue
        w = W.get(q, {}).get(m)
        if w is None: continue
        w = f32(w)
        free = [s for s in slots if s[0] == 0.0]
        if free:
            free[0][0], free[0][1] = w, m
            continue
        for s in slots:
            if s[0] < w:
                s[0], s[1] = w, m
                break
    slots.sort(key=lambda s: -s[0])  # stable
    if slots[0][0] != 0.0:
        total = f32(f32(slots[2][0] + slots[0][0]) + slots[1][0])
        for s in slots: s[0] = f32(s[0] / total)
    return slots

map_bone = {b[5]: bone_index[b[0]] for b in BONES if b[5]}

def vertex_line(p, c, scale):
    q = p['pts'][c]
    slots = influences(q)
    nodes = [map_bone[s[1]] if s[1] else -1 for s in slots]
    links = [(nodes[i], slots[i][0]) for i in range(3) if nodes[i] != -1 and slots[i][0] > 0]
    pos = P[q]
    n = p['norms'][c]
    u, v = p['uv'][c]
    line = '%d' % (nodes[0] if nodes[0] != -1 else 0)
    line += ' %s %s %s ' % (fmt(pos[0] * scale), fmt(pos[2] * scale), fmt(pos[1] * scale))
    line += '%s %s %s ' % (fmt(n[0]), fmt(n[2]), fmt(n[1]))
    line += '%s %s ' % (fmt(u), fmt(v))
    if links:
        line += ' %d ' % len(links)
        for node, w in links: line += '%d %s ' % (node, fmt(w))
    return line + '\n'

def material(p, group):
    surf = p['surf']
    if group == 'surface': name = surf
    elif group == 'texture': name = SURF[surf]['image'] or surf
    else: name = p['uv_map'] or surf
    return name.replace(' ', '_')

def write(group, nulls, verify, scale):
    out = 'version 1\nnodes\n'
    parent_of = {b[0]: b[1] for b in BONES}
    for name, parent, pos, rest, pivot, wmap in BONES:
        if wmap is None and not nulls: continue
        out += '%d\t "%s"\t %d' % (bone_index[name], name, bone_index[parent] if parent else -1)
        if wmap is None: out += '\t // null bone'
        out += '\n'
    out += 'end\nskeleton\ntime 0\n'
    for idx, pos, rot in bone_lines:
        out += '%d  %s %s %s  %s %s %s\n' % (idx, fmt(pos[0] * scale), fmt(pos[2] * scale), fmt(pos[1] * scale),
                                             fmt(rot[0]), fmt(rot[1]), fmt(rot[2]))
    out += 'end\ntriangles\n'
    for p in polys:
        if not p['valid']: continue
        if p['has_uv'] == 0 and verify: continue
        m = material(p, group)
        out += m + '\n'
        for c in (2, 1, 0): out += vertex_line(p, c, scale)
        if len(p['pts']) == 4:
            out += m + '\n'
            for c in (0, 3, 2): out += vertex_line(p, c, scale)
    out += 'end\n'
    return out

folder = sys.argv[1] if len(sys.argv) > 1 else '.'
files = {
    'rig_uvmap.smd': write('uv', True, True, 40.0),
    'rig_uvmap_no_null_bones.smd': write('uv', False, True, 40.0),
    'rig_surface.smd': write('surface', True, True, 40.0),
    'rig_surface_no_null_bones.smd': write('surface', False, True, 40.0),
    'rig_texture.smd': write('texture', True, True, 40.0),
    'rig_texture_no_null_bones.smd': write('texture', False, True, 40.0),
    'rig_uvmap_unverified_unscaled.smd': write('uv', True, False, 1.0),
}
for name, text in files.items():
    with open(os.path.join(folder, name), 'w', newline='\n') as f: f.write(text)
# counts for the panel
counts = {'non_face': 0, 'five_plus': 0, 'degenerate': 0, 'no_uv': 0, 'valid': 0}
for p in polys:
    if p['type'] != 'FACE': counts['non_face'] += 1
    elif len(p['pts']) > 4: counts['five_plus'] += 1
    elif len(p['pts']) < 3: counts['degenerate'] += 1
    else:
        t = 2 if len(p['pts']) == 4 else 1
        if p['has_uv'] == 0: counts['no_uv'] += t
        else: counts['valid'] += t
print(counts)
