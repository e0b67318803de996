#!/usr/bin/env python3
"""Writes damaged model and picture files into a folder: forged counts,
cycles, deep chains, truncations, huge pictures in every accepted picture
format, FIFOs, a device and a directory where a model is expected. Used by
tests/view/hostile_files_end_with_one_line_within_limits.sh; each file must
end the viewer with status 0 or 1, one line when refused, within the time
and memory limits.

    python3 make_hostile_corpus.py FOLDER
"""
import os
import struct
import sys
import zlib

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
BIG = 1000000000


def write(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


# --- text formats whose readers allocate from header counts -------------
write("comment_first.off", "#" + "x" * 600 + "\nOFF\n%d %d 0\n0 0 0\n" % (BIG, BIG))
write("leading_spaces.off", " " * 700 + "OFF\n%d 1 0\n0 0 0\n3 0 0 0\n" % BIG)
write("off_not_named_off.model", "OFF\n%d %d 0\n0 0 0\n" % (BIG, BIG))
write("vertices.ply", "ply\nformat ascii 1.0\nelement vertex %d\nproperty float x\n"
      "property float y\nproperty float z\nend_header\n0 0 0\n" % BIG)
write("faces_binary.ply", b"ply\nformat binary_little_endian 1.0\nelement vertex 3\n"
      b"property float x\nproperty float y\nproperty float z\nelement face 4000000000\n"
      b"property list uchar int vertex_indices\nend_header\n" + b"\0" * 36)
write("meshes.x", "xof 0303txt 0032\nMesh m {\n %d;\n0.0;0.0;0.0;;\n 1;\n3;0,0,0;;\n}\n" % BIG)
write("faces.x", "xof 0303txt 0032\nMesh m {\n 3;\n0.0;0.0;0.0;,\n1.0;0.0;0.0;,\n"
      "0.0;1.0;0.0;;\n %d;\n3;0,1,2;;\n}\n" % BIG)
write("weights.x", "xof 0303txt 0032\nFrame root {\nMesh m {\n 3;\n0.0;0.0;0.0;,\n"
      "1.0;0.0;0.0;,\n0.0;1.0;0.0;;\n 1;\n3;0,1,2;;\nSkinWeights {\n\"root\";\n %d;\n"
      "0;\n1.0;\n1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;\n}\n}\n}\n"
      % BIG)
MD5_HEAD = 'MD5Version 10\ncommandline ""\nnumJoints 1\nnumMeshes 1\njoints {\n' \
    '\t"root" -1 ( 0 0 0 ) ( 0 0 0 )\n}\n'
write("verts.md5mesh", MD5_HEAD + "mesh {\n\tshader \"a\"\n\tnumverts %d\n"
      "\tvert 0 ( 0 0 ) 0 1\n}\n" % BIG)
write("weights.md5mesh", MD5_HEAD + "mesh {\n\tshader \"a\"\n\tnumverts 3\n"
      "\tvert 0 ( 0 0 ) 0 1\n\tvert 1 ( 0 0 ) 0 1\n\tvert 2 ( 0 0 ) 0 1\n\tnumtris 1\n"
      "\ttri 0 0 1 2\n\tnumweights %d\n\tweight 0 0 1 ( 0 0 0 )\n}\n" % BIG)
for what, tri, weight, joint in (("triangle", "0 0 1 70000", "0 0 1", "0"),
                                 ("weight", "0 0 1 2", "0 0 1", "0"),
                                 ("joint", "0 0 1 2", "0 0 1", "90000")):
    verts = "".join("\tvert %d ( 0 0 ) %s\n" % (i, "90000 1" if what == "weight" else "0 1")
                    for i in range(3))
    write("bad_%s_index.md5mesh" % what, MD5_HEAD + "mesh {\n\tshader \"a\"\n\tnumverts 3\n"
          + verts + "\tnumtris 1\n\ttri %s\n\tnumweights 1\n\tweight 0 %s 1 ( 0 0 0 )\n}\n"
          % (tri, joint))
SMD_NODES = "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\n"
write("bone.smd", "version 1\nnodes\n%d \"root\" -1\nend\n" % BIG)
# A triangle whose picture is missing, in a skinned model whose animation
# lasts hours: one line (the refusal), not a warning first.
write("missing_picture_then_refused.smd", SMD_NODES.replace(
    "time 0\n0 0 0 0 0 0 0\n", "time 0\n0 0 0 0 0 0 0\ntime 900000\n0 1 0 0 0 0 0\n") +
    "triangles\nmissing.bmp\n0 0 0 0 0 0 1 0 0\n0 1 0 0 0 0 1 1 0\n0 0 1 0 0 0 1 0 1\nend\n")
# Binary X has no guard: its forged vertex count (2^31) reaches the decoder,
# which runs out of its memory.
write("vertices_binary.x", b"xof 0303bin 0032" + struct.pack("<HI", 1, 4) + b"Mesh" +
      struct.pack("<H", 10) + struct.pack("<HII", 6, 1, 0x7FFFFFFF) + struct.pack("<H", 11))
write("triangles.stl", b"\0" * 80 + struct.pack("<I", 4000000000) + b"\0" * 50)
# Files of spaces named .stl: no first token to compare with "solid"; 16 MB
# of them once faulted the viewer reading past the file's last page.
write("spaces.stl", b" " * (16 << 20))
write("spaces_then_sol.stl", b" " * 84 + b"sol")

# --- Collada: cycles, self-reference, a deep chain, a huge stride ------
def collada(library_nodes, scene_nodes, geometry=""):
    return ('<?xml version="1.0"?>\n<COLLADA xmlns="http://www.collada.org/2005/11/'
            'COLLADASchema" version="1.4.1">\n' + geometry +
            "<library_nodes>" + library_nodes + "</library_nodes>\n"
            '<library_visual_scenes><visual_scene id="s">' + scene_nodes +
            '</visual_scene></library_visual_scenes>\n<scene><instance_visual_scene url="#s"/>'
            "</scene></COLLADA>\n")


write("instance_cycle.dae", collada(
    '<node id="a"><instance_node url="#b"/></node><node id="b"><instance_node url="#a"/></node>',
    '<node id="r"><instance_node url="#a"/></node>'))
write("instance_self.dae", collada('<node id="a"><instance_node url="#a"/></node>',
                                   '<node id="r"><instance_node url="#a"/></node>'))
write("deep_chain.dae", collada("", '<node id="n">' * 20000 + "</node>" * 20000))
GEOMETRY = ('<library_geometries><geometry id="g"><mesh><source id="p"><float_array id="pa" '
            'count="9">0 0 0 1 0 0 0 1 0</float_array><technique_common><accessor source="#pa" '
            'count="3" stride="4000000000"><param name="X" type="float"/><param name="Y" '
            'type="float"/><param name="Z" type="float"/></accessor></technique_common></source>'
            '<vertices id="v"><input semantic="POSITION" source="#p"/></vertices><triangles '
            'count="1"><input semantic="VERTEX" source="#v" offset="0"/><p>0 1 2</p></triangles>'
            "</mesh></geometry></library_geometries>\n")
write("huge_stride.dae", collada("", '<node id="r"><instance_geometry url="#g"/></node>',
                                 GEOMETRY))

# --- glTF: a deep chain, a node cycle, truncations ---------------------
def gltf_nodes(nodes):
    import json
    return json.dumps({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
                       "nodes": nodes})


write("deep_chain.gltf", gltf_nodes([{"children": [i + 1]} for i in range(20000)] + [{}]))
write("node_cycle.gltf", gltf_nodes([{"children": [1]}, {"children": [0]}]))
sample = "/usr/share/assimp/models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb"
if os.path.exists(sample):
    data = open(sample, "rb").read()
    write("truncated_half.glb", data[: len(data) // 2])
    write("truncated_header.glb", data[:20])
    # Found by scripts/fuzz-assimp.sh: a JSON chunk declaring 4 GB makes
    # Assimp's glTF reader allocate that much from memory.
    forged = bytearray(data)
    forged[12:16] = struct.pack("<I", 4211080063)
    write("forged_chunk_length.glb", bytes(forged))

# --- pictures declaring 65 500 x 65 500, one OBJ model each -----------
SIDE = 65500


def png(w, h):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"\0" * 64)) + chunk(b"IEND", b""))


def jpeg(w, h):
    # Fill bytes before the markers and a thousand comment segments before
    # the frame header.
    segments = b"".join(b"\xff\xff\xff\xfe\x00\x04ab" for _ in range(1000))
    sof = b"\xff\xff\xc0\x00\x11\x08" + struct.pack(">HH", h, w) + b"\x03\x01\x22\x00\x02\x11" \
        b"\x01\x03\x11\x01"
    return b"\xff\xd8" + segments + sof + b"\xff\xd9"


def gif(w, h):
    return (b"GIF89a" + struct.pack("<HH", 16, 16) + b"\x00\x00\x00" + b"\x21\xf9\x04\x00\x00"
            b"\x00\x00\x00" + b"\x2c" + struct.pack("<HHHH", 0, 0, w, h) + b"\x00\x02\x02\x44"
            b"\x01\x00\x3b")


def bmp(w, h):
    return (b"BM" + struct.pack("<IHHI", 54, 0, 0, 54) + struct.pack("<IiiHHIIiiII", 40, w, h,
            1, 32, 0, 0, 0, 0, 0, 0))


def tga(w, h):
    return bytes([0, 0, 2]) + b"\0" * 9 + struct.pack("<HH", w, h) + bytes([32, 8])


pictures = {"huge.png": png(SIDE, SIDE), "huge_fill_segments.jpg": jpeg(SIDE, SIDE),
            "huge_gif_named.png": gif(SIDE, SIDE), "huge.bmp": bmp(SIDE, SIDE),
            "huge.tga": tga(SIDE, SIDE), "truncated.png": png(64, 64)[:40]}
for i, (name, data) in enumerate(sorted(pictures.items())):
    write(name, data)
    stem = "picture_%d_%s" % (i, name.replace(".", "_"))
    write(stem + ".mtl", "newmtl m\nmap_Kd %s\n" % name)
    write(stem + ".obj", "mtllib %s.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
          "usemtl m\nf 1/1 2/2 3/3\n" % stem)

# --- what is not a regular file ----------------------------------------
TRIANGLE_OBJ = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"
fifo_path = os.path.join(out, "fifo.obj")
if not os.path.exists(fifo_path):
    os.mkfifo(fifo_path)
if not os.path.exists(os.path.join(out, "fifo_library.mtl")):
    os.mkfifo(os.path.join(out, "fifo_library.mtl"))
write("fifo_library.obj", "mtllib fifo_library.mtl\n" + TRIANGLE_OBJ)
if not os.path.exists(os.path.join(out, "fifo_picture.png")):
    os.mkfifo(os.path.join(out, "fifo_picture.png"))
write("fifo_picture.mtl", "newmtl m\nmap_Kd fifo_picture.png\n")
write("fifo_picture.obj", "mtllib fifo_picture.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\n"
      "usemtl m\nf 1/1 2/1 3/1\n")
if not os.path.lexists(os.path.join(out, "device.obj")):
    os.symlink("/dev/zero", os.path.join(out, "device.obj"))
os.makedirs(os.path.join(out, "directory.gltf"), exist_ok=True)
