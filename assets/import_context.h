// What the parts of the model importer share while one file is converted:
// the Assimp scene, its nodes flattened and checked, and the refusal that
// ends an import. Internal to assets/; relies on Assimp's scene records.
#pragma once

#include "assets/model_import.h"

#include <assimp/scene.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct MATERIAL;
struct MODEL_ACTOR;

// Thrown inside the importer when the file breaks a rule; the reason is the
// text after "<file>: " on the one stderr line.
struct IMPORT_REFUSAL {
    std::string reason;
};

[[noreturn]] void refuse(std::string reason);

// A decoded material of the file, converted once and copied into every
// MATERIAL that uses it.
struct MATERIAL_SOURCE {
    bool ready = false;
    float diffuse[4] = {1, 1, 1, 1};
    float specular[3] = {0, 0, 0};
    float emission[3] = {0, 0, 0};
    float alpha = 1.0f;
    bool transparent = false;
    bool two_sided = false;
    int32_t uv_channel = 0; // texture coordinate set texture 0 reads
    // The texture-0 picture (RGBA, top row first) with the diffuse colour
    // multiplied in: a 1 x 1 picture of that colour when there is none.
    int32_t width = 1;
    int32_t height = 1;
    std::vector<uint8_t> pixels;
};

// One skinned actor: its joints' nodes and the node paths that give each
// joint's local transform (see model_skin.cpp).
struct SKINNED_PART {
    MODEL_ACTOR* actor = nullptr;
    SKIN* skin = nullptr;
    std::vector<int32_t> joint_node;        // node of each joint
    std::vector<std::vector<int32_t>> path; // nodes whose locals make the joint's local
    std::vector<bool> is_root;              // root joints start from the skeleton space
    aiMatrix4x4 skeleton_from_scene;        // inverse of the mesh node's placement
};

struct IMPORT {
    const aiScene* scene = nullptr;
    const char* name = nullptr; // in messages
    std::string directory;      // of the model file ("" for a file in memory)
    bool from_memory = false;
    IMPORTED_MODEL* out = nullptr;

    // Nodes in depth-first order, root first.
    std::vector<const aiNode*> nodes;
    std::vector<int32_t> parent;     // -1 for the root
    std::vector<aiMatrix4x4> global; // node to root-placement space, at rest
    std::unordered_map<std::string, int32_t> node_by_name;
    std::vector<MODEL_ACTOR*> node_actor;

    std::vector<MATERIAL_SOURCE> materials;
    std::vector<SKINNED_PART> skinned;
    std::vector<bool> joint_nodes; // nodes that are a joint of some skin
    int64_t built_vertices = 0;
    std::unordered_set<std::string> warned_pictures; // one warning per missing picture
};

// model_material.cpp: material index of the scene, read and converted at
// its first use (refused when the scene has no such material).
const MATERIAL_SOURCE& material_source(IMPORT& im, uint32_t index);
// The MATERIAL for material index of the scene (its
// texture created now), warning once on stderr for a picture that cannot be read.
MATERIAL* make_material(IMPORT& im, uint32_t index);

// model_skin.cpp: the SKIN of a skinned mesh's bones for actor, whose mesh
// node is mesh_node; records the part for the animations.
SKIN* make_skin(IMPORT& im, const aiMesh* mesh, int32_t mesh_node, MODEL_ACTOR* actor);
// Samples every animation of the scene at 60 frames per second into one
// ANIMATION per skinned part.
void make_clips(IMPORT& im);

// Finite checks for everything the engine takes from the file.
bool finite(const aiVector3D& v);
bool finite(const aiMatrix4x4& m);
MATRIX4 engine_matrix(const aiMatrix4x4& m);
