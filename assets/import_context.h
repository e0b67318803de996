// What the parts of the model decoder share while one file is converted
// into the flat DECODED_MODEL: the Assimp scene, its nodes flattened and
// checked, and the refusal that ends a decode. Internal to assets/; relies on
// Assimp's scene records.
#pragma once

#include "assets/decoded_model.h"
#include "assets/model_import.h"

#include <assimp/scene.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Thrown inside the importer when the file breaks a rule; the reason is the
// text after "<file>: " on the one stderr line.
struct IMPORT_REFUSAL {
    std::string reason;
};

[[noreturn]] void refuse(std::string reason);

// One skinned part: its joints' nodes and the node paths that give each
// joint's local transform (see model_skin.cpp).
struct SKINNED_PART {
    int32_t skin = -1;                      // in DECODED_MODEL::skins
    std::vector<int32_t> joint_node;        // node of each joint; -1: a bone without a node
    std::vector<std::vector<int32_t>> path; // nodes whose locals make the joint's local
    std::vector<bool> is_root;              // root joints start from the skeleton space
    std::vector<aiMatrix4x4> held;          // the fixed local of a joint without a node
    aiMatrix4x4 skeleton_from_scene;        // inverse of the mesh node's placement
};

struct IMPORT {
    const aiScene* scene = nullptr;
    std::string directory; // of the model file below folder ("" for a file in memory)
    int folder = -1;       // the neighbours' folder descriptor (decoder_files.h)
    bool from_memory = false;
    DECODED_MODEL* out = nullptr;

    // Nodes in depth-first order, root first.
    std::vector<const aiNode*> nodes;
    std::vector<int32_t> parent;     // -1 for the root
    std::vector<aiMatrix4x4> global; // node to root-placement space, at rest
    std::unordered_map<std::string, int32_t> node_by_name;

    std::vector<bool> material_ready; // converted into out->materials
    std::vector<int32_t> uv_channel;  // texture coordinate set texture 0 of each material reads
    std::vector<SKINNED_PART> skinned;
    std::vector<bool> joint_nodes; // nodes that are a joint of some skin
    int64_t built_vertices = 0;
    int64_t dropped_faces = 0; // faces of the reader's meshes that are not triangles
    std::unordered_set<std::string> warned_pictures; // one warning per missing picture
};

// model_material.cpp: material index of the scene, read and converted into
// out->materials at its first use (refused when the scene has no such
// material); a picture that cannot be read adds one warning.
void read_material(IMPORT& im, uint32_t index);

// model_skin.cpp: the skin of a skinned mesh's bones, whose mesh node is
// mesh_node; records the part for the animations and returns its index.
int32_t make_skin(IMPORT& im, const aiMesh* mesh, int32_t mesh_node);
// Samples every animation of the scene at 60 frames per second into one
// frame list per skin.
void make_clips(IMPORT& im);

// Finite checks for everything the engine takes from the file.
bool finite(const aiVector3D& v);
bool finite(const aiMatrix4x4& m);
MATRIX4 engine_matrix(const aiMatrix4x4& m);
