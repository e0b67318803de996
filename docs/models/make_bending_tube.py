#!/usr/bin/env python3
"""Writes bending_tube.gltf: a textured tube of two joints whose upper half
bends to and fro, a small skinned, textured and animated model of our own for
the viewer's screenshot. Everything (buffer and picture) is embedded as data
URIs, so the one file is the whole model. Usage: make_bending_tube.py [OUT]"""
import base64, json, math, struct, sys, zlib

SEGMENTS, RINGS, RADIUS, HEIGHT = 24, 24, 0.5, 4.0


def png(width, height, pixel):
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width))
                    for y in range(height))
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def picture(x, y):
    # Checks of orange and cream, with a blue band round the middle.
    if 28 <= y < 36:
        return (40, 90, 200)
    return (230, 110, 30) if (x // 8 + y // 8) % 2 else (245, 230, 200)


def smooth(t):
    t = min(max(t, 0.0), 1.0)
    return t * t * (3 - 2 * t)


positions, normals, uvs, joints, weights, indices = [], [], [], [], [], []
for ring in range(RINGS + 1):
    y = HEIGHT * ring / RINGS
    bend = smooth((y - 1.4) / 1.2)  # the upper joint takes over around y = 2
    for seg in range(SEGMENTS + 1):
        a = 2 * math.pi * seg / SEGMENTS
        positions += [RADIUS * math.cos(a), y, RADIUS * math.sin(a)]
        normals += [math.cos(a), 0.0, math.sin(a)]
        uvs += [seg / SEGMENTS, 1.0 - ring / RINGS]
        joints += [0, 1, 0, 0]
        weights += [1.0 - bend, bend, 0.0, 0.0]
for ring in range(RINGS):
    for seg in range(SEGMENTS):
        a = ring * (SEGMENTS + 1) + seg
        b = a + SEGMENTS + 1
        indices += [a, b, a + 1, a + 1, b, b + 1]

times = [0.0, 1.0, 2.0]
def about_z(deg):
    h = math.radians(deg) / 2
    return [0.0, 0.0, math.sin(h), math.cos(h)]
rotations = about_z(-50) + about_z(50) + about_z(-50)
inverse_binds = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,
                 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -HEIGHT / 2, 0, 1]

blob, views, accessors = b"", [], []
def add(fmt, values, kind, component, count, target=None, bounds=None):
    global blob
    data = struct.pack("<%d%s" % (len(values), fmt), *values)
    view = {"buffer": 0, "byteOffset": len(blob), "byteLength": len(data)}
    if target:
        view["target"] = target
    blob += data + b"\0" * (-len(data) % 4)
    views.append(view)
    accessor = {"bufferView": len(views) - 1, "componentType": component,
                "count": count, "type": kind}
    if bounds:
        accessor["min"], accessor["max"] = bounds
    accessors.append(accessor)
    return len(accessors) - 1

n = len(positions) // 3
lo = [min(positions[i::3]) for i in range(3)]
hi = [max(positions[i::3]) for i in range(3)]
POS = add("f", positions, "VEC3", 5126, n, 34962, (lo, hi))
NRM = add("f", normals, "VEC3", 5126, n, 34962)
UV = add("f", uvs, "VEC2", 5126, n, 34962)
JNT = add("H", joints, "VEC4", 5123, n, 34962)
WGT = add("f", weights, "VEC4", 5126, n, 34962)
IDX = add("H", indices, "SCALAR", 5123, len(indices), 34963)
IBM = add("f", inverse_binds, "MAT4", 5126, 2)
TIME = add("f", times, "SCALAR", 5126, 3, None, ([0.0], [2.0]))
ROT = add("f", rotations, "VEC4", 5126, 3)

gltf = {
    "asset": {"version": "2.0", "generator": "make_bending_tube.py"},
    "scene": 0,
    "scenes": [{"nodes": [0, 1]}],
    "nodes": [
        {"name": "tube", "mesh": 0, "skin": 0},
        {"name": "base", "children": [2]},
        {"name": "bend", "translation": [0, HEIGHT / 2, 0]},
    ],
    "skins": [{"joints": [1, 2], "inverseBindMatrices": IBM, "skeleton": 1}],
    "meshes": [{"primitives": [{
        "attributes": {"POSITION": POS, "NORMAL": NRM, "TEXCOORD_0": UV,
                       "JOINTS_0": JNT, "WEIGHTS_0": WGT},
        "indices": IDX, "material": 0}]}],
    "materials": [{"name": "checks", "pbrMetallicRoughness": {
        "baseColorTexture": {"index": 0}, "metallicFactor": 0.0}}],
    "textures": [{"sampler": 0, "source": 0}],
    "samplers": [{"magFilter": 9729, "minFilter": 9729}],
    "images": [{"uri": "data:image/png;base64," +
                base64.b64encode(png(64, 64, picture)).decode()}],
    "animations": [{"name": "bend", "channels": [
        {"sampler": 0, "target": {"node": 2, "path": "rotation"}}],
        "samplers": [{"input": TIME, "output": ROT, "interpolation": "LINEAR"}]}],
    "buffers": [{"byteLength": len(blob),
                 "uri": "data:application/octet-stream;base64," +
                 base64.b64encode(blob).decode()}],
    "bufferViews": views,
    "accessors": accessors,
}
out = sys.argv[1] if len(sys.argv) > 1 else "bending_tube.gltf"
with open(out, "w") as f:
    json.dump(gltf, f, separators=(",", ":"))
