// Model files into the engine's records (see model_import.h): Assimp reads
// the file, this file checks the node tree and every mesh against the
// engine's rules and builds the MODEL_ACTOR tree with its MODELs; materials
// are in model_material.cpp, skins and animations in model_skin.cpp. Owns no
// globals; a refused file leaves nothing behind.
#include "assets/model_import.h"

#include "assets/import_context.h"

#include "scene/actor.h"
#include "scene/builders.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/skin.h"
#include "shader/limits.h"

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <new>
#include <unordered_set>

namespace {

// 16-bit indices name at most this many vertices: larger meshes are split.
constexpr int32_t MAX_MODEL_VERTICES = 65536;
// Every level of the node tree takes one model-stack entry when drawn and
// one more when its skeleton is posed; the stack holds 64.
constexpr int32_t MAX_NODE_DEPTH = 48;
constexpr size_t MAX_NODES = 65536;
// All MODELs of one file together (instanced meshes count once per use).
constexpr int64_t MAX_TOTAL_VERTICES = 16 << 20;

constexpr unsigned POST_PROCESS = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                  aiProcess_SortByPType | aiProcess_GenSmoothNormals |
                                  aiProcess_LimitBoneWeights | aiProcess_SplitByBoneCount |
                                  aiProcess_ValidateDataStructure | aiProcess_FlipUVs;

void configure(Assimp::Importer& importer) {
    importer.SetPropertyInteger(AI_CONFIG_PP_LBW_MAX_WEIGHTS, MAX_JOINT_INFLUENCES);
    importer.SetPropertyInteger(AI_CONFIG_PP_SBBC_MAX_BONES, MAX_JOINTS);
    // Points and lines are not drawn: only triangle meshes are kept.
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE,
                                aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    // Some formats invent a mesh that draws the bones; a viewer does not want it.
    importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
}

// The file system a model held in memory sees: none. Files it names (OBJ
// material libraries, glTF buffers) are not read, as for its pictures.
struct NO_FILES : Assimp::IOSystem {
    bool Exists(const char*) const override { return false; }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char*, const char*) override { return nullptr; }
    void Close(Assimp::IOStream* stream) override { delete stream; }
};

// Assimp's messages may span lines; ours is one.
std::string one_line(const char* text) {
    std::string s = text && *text ? text : "unknown reason";
    std::replace(s.begin(), s.end(), '\n', ' ');
    std::replace(s.begin(), s.end(), '\r', ' ');
    if (s.size() > 200) {
        s.resize(200);
    }
    return s;
}

// Assimp's OFF reader reserves what the header declares before reading a
// single face, so a forged count makes it allocate hundreds of gigabytes (or
// abort under a sanitizer): counts a file of this size cannot hold are
// refused before Assimp sees the file.
bool off_header_plausible(const char* head, size_t head_size, uint64_t file_size,
                          std::string* reason) {
    std::string text(head, head_size);
    size_t at = 0;
    auto next_token = [&]() {
        for (;;) {
            while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
                ++at;
            }
            if (at < text.size() && text[at] == '#') {
                while (at < text.size() && text[at] != '\n') {
                    ++at;
                }
                continue;
            }
            break;
        }
        size_t start = at;
        while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
        return text.substr(start, at - start);
    };
    std::string token = next_token();
    if (token.find("OFF") != std::string::npos) {
        token = next_token();
    }
    uint64_t counts[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        if (token.empty() || token.size() > 19 ||
            token.find_first_not_of("0123456789") != std::string::npos) {
            return true; // not a header we understand: Assimp judges it
        }
        counts[i] = std::stoull(token);
        token = next_token();
    }
    // A vertex takes at least "0 0 0\n", a face at least "1 0\n".
    if (counts[0] > file_size / 6 || counts[1] > file_size / 4) {
        *reason = "the OFF header declares " + std::to_string(counts[0]) + " vertices and " +
                  std::to_string(counts[1]) + " faces, more than a " + std::to_string(file_size) +
                  "-byte file holds";
        return false;
    }
    return true;
}

bool has_extension(const char* name, const char* extension) {
    size_t n = name ? std::strlen(name) : 0;
    size_t e = std::strlen(extension);
    return n >= e && strcasecmp(name + n - e, extension) == 0 && (n == e || name[n - e - 1] == '.');
}

// Assimp 5.2's OBJ reader crashes (reads through a null pointer) on some
// files in memory that name a material library it cannot open. A model in
// memory never reads its material libraries anyway, so those statements are
// turned into comments before Assimp sees the text.
std::vector<char> without_material_libraries(const void* data, size_t size) {
    const char* text = static_cast<const char*>(data);
    std::vector<char> copy(text, text + size);
    for (size_t i = 0; i < size; ++i) {
        bool line_start = i == 0 || copy[i - 1] == '\n' || copy[i - 1] == '\r';
        if (line_start && size - i >= 6 && std::memcmp(&copy[i], "mtllib", 6) == 0) {
            copy[i] = '#';
        }
    }
    return copy;
}

bool is_off(const char* name) {
    return has_extension(name, "off");
}

// Flattens the node tree depth first, checking that it is a tree of
// bounded depth and size with finite transforms.
void read_nodes(IMPORT& im) {
    const aiNode* root = im.scene->mRootNode;
    if (!root) {
        refuse("the file has no root node");
    }
    std::unordered_set<const aiNode*> seen;
    struct PENDING {
        const aiNode* node;
        int32_t parent;
        int32_t depth;
    };
    std::vector<PENDING> stack{{root, -1, 1}};
    while (!stack.empty()) {
        PENDING p = stack.back();
        stack.pop_back();
        if (!seen.insert(p.node).second) {
            refuse(std::string("node '") + p.node->mName.C_Str() + "' appears twice (a cycle)");
        }
        if (p.depth > MAX_NODE_DEPTH) {
            refuse("the node hierarchy is deeper than " + std::to_string(MAX_NODE_DEPTH) +
                   " levels");
        }
        if (im.nodes.size() >= MAX_NODES) {
            refuse("the file has more than " + std::to_string(MAX_NODES) + " nodes");
        }
        if (!finite(p.node->mTransformation)) {
            refuse(std::string("node '") + p.node->mName.C_Str() + "' has a non-finite transform");
        }
        if (p.node->mNumMeshes > 0 && !p.node->mMeshes) {
            refuse(std::string("node '") + p.node->mName.C_Str() + "' has no mesh list");
        }
        for (unsigned i = 0; i < p.node->mNumMeshes; ++i) {
            if (p.node->mMeshes[i] >= im.scene->mNumMeshes) {
                refuse(std::string("node '") + p.node->mName.C_Str() + "' names mesh " +
                       std::to_string(p.node->mMeshes[i]) + ", which the file does not have");
            }
        }
        if (p.node->mNumChildren > 0 && !p.node->mChildren) {
            refuse(std::string("node '") + p.node->mName.C_Str() + "' has no child list");
        }
        int32_t index = int32_t(im.nodes.size());
        im.nodes.push_back(p.node);
        im.parent.push_back(p.parent);
        im.global.push_back(p.parent == -1 ? p.node->mTransformation
                                           : im.global[size_t(p.parent)] * p.node->mTransformation);
        im.node_by_name.emplace(p.node->mName.C_Str(), index);
        // Reversed, so children come off the stack in file order.
        for (unsigned c = p.node->mNumChildren; c-- > 0;) {
            if (!p.node->mChildren[c]) {
                refuse(std::string("node '") + p.node->mName.C_Str() + "' has an empty child");
            }
            stack.push_back({p.node->mChildren[c], index, p.depth + 1});
        }
    }
    im.joint_nodes.assign(im.nodes.size(), false);
}

// The strongest four influences of every vertex, renormalised; vertices
// without any keep joint -1 at full weight (the mesh's own space).
struct INFLUENCES {
    std::vector<float> index;  // 4 per vertex
    std::vector<float> weight; // 4 per vertex
};

INFLUENCES read_influences(const aiMesh* mesh) {
    INFLUENCES inf;
    size_t n = mesh->mNumVertices;
    inf.index.assign(n * 4, -1.0f);
    inf.weight.assign(n * 4, 0.0f);
    for (unsigned b = 0; b < mesh->mNumBones; ++b) {
        const aiBone* bone = mesh->mBones[b];
        if (bone->mNumWeights > 0 && !bone->mWeights) {
            refuse(std::string("bone '") + bone->mName.C_Str() + "' has no weight list");
        }
        for (unsigned i = 0; i < bone->mNumWeights; ++i) {
            const aiVertexWeight& vw = bone->mWeights[i];
            if (vw.mVertexId >= n) {
                refuse(std::string("bone '") + bone->mName.C_Str() + "' weighs vertex " +
                       std::to_string(vw.mVertexId) + " of a " + std::to_string(n) +
                       "-vertex mesh");
            }
            if (!std::isfinite(vw.mWeight)) {
                refuse(std::string("bone '") + bone->mName.C_Str() + "' has a non-finite weight");
            }
            if (!(vw.mWeight > 0.0f)) {
                continue;
            }
            // Insert by weight, dropping the weakest beyond four.
            float* w = &inf.weight[size_t(vw.mVertexId) * 4];
            float* j = &inf.index[size_t(vw.mVertexId) * 4];
            int k = MAX_JOINT_INFLUENCES;
            while (k > 0 && w[k - 1] < vw.mWeight) {
                if (k < MAX_JOINT_INFLUENCES) {
                    w[k] = w[k - 1];
                    j[k] = j[k - 1];
                }
                --k;
            }
            if (k < MAX_JOINT_INFLUENCES) {
                w[k] = vw.mWeight;
                j[k] = float(b);
            }
        }
    }
    for (size_t v = 0; v < n; ++v) {
        float* w = &inf.weight[v * 4];
        float sum = w[0] + w[1] + w[2] + w[3];
        if (sum > 0.0f) {
            for (int k = 0; k < 4; ++k) {
                w[k] /= sum;
            }
        } else {
            w[0] = 1.0f;
        }
    }
    return inf;
}

VERTEX make_vertex(const aiMesh* mesh, unsigned v, int32_t uv_channel, const INFLUENCES* inf) {
    VERTEX out{};
    const aiVector3D& p = mesh->mVertices[v];
    if (!finite(p)) {
        refuse("a vertex position is not finite");
    }
    out.position[0] = p.x;
    out.position[1] = p.y;
    out.position[2] = p.z;
    out.position[3] = 1.0f;
    aiVector3D n(0, 0, 1);
    if (mesh->mNormals && finite(mesh->mNormals[v]) && mesh->mNormals[v].SquareLength() > 0.0f) {
        n = mesh->mNormals[v];
    }
    out.normal[0] = n.x;
    out.normal[1] = n.y;
    out.normal[2] = n.z;
    // Texture 0 reads the set its material names; texture 1 the other one.
    const int sets[2] = {uv_channel, uv_channel == 0 ? 1 : 0};
    for (int s = 0; s < 2; ++s) {
        const aiVector3D* uv = mesh->mTextureCoords[sets[s]];
        if (uv && std::isfinite(uv[v].x) && std::isfinite(uv[v].y)) {
            float* t = s == 0 ? out.texcoord0 : out.texcoord1;
            t[0] = uv[v].x;
            t[1] = uv[v].y;
        }
    }
    for (int k = 0; k < MAX_JOINT_INFLUENCES; ++k) {
        out.joint_indices[k] = inf ? inf->index[size_t(v) * 4 + size_t(k)] : -1.0f;
        out.joint_weights[k] = inf ? inf->weight[size_t(v) * 4 + size_t(k)] : 0.0f;
    }
    return out;
}

// Triangles and vertices gathered for one MODEL (at most 65 536 vertices),
// one piece per mesh of the file that contributes to it.
struct PIECE {
    uint32_t material = 0;
    std::vector<uint16_t> indices;
};

struct MODEL_PARTS {
    std::vector<VERTEX> vertices;
    std::vector<PIECE> pieces;
    const aiMesh* skinned_mesh = nullptr; // the one mesh of a skinned model
};

void grow_bounds(IMPORTED_MODEL* out, const aiVector3D& p, bool first) {
    if (first) {
        out->bounds_min = out->bounds_max = VECTOR3{p.x, p.y, p.z};
        return;
    }
    out->bounds_min = VECTOR3{std::min(out->bounds_min.x, p.x), std::min(out->bounds_min.y, p.y),
                              std::min(out->bounds_min.z, p.z)};
    out->bounds_max = VECTOR3{std::max(out->bounds_max.x, p.x), std::max(out->bounds_max.y, p.y),
                              std::max(out->bounds_max.z, p.z)};
}

// Bind-pose bounds of a model's vertices in the root's placement space.
void add_bounds(IMPORT& im, const MODEL_PARTS& parts, int32_t node, const SKIN* skin) {
    const aiMatrix4x4& placement = im.global[size_t(node)];
    std::vector<aiMatrix4x4> joint_pose;
    if (skin) {
        const SKINNED_PART& part = im.skinned.back();
        for (size_t j = 0; j < part.joint_node.size(); ++j) {
            joint_pose.push_back(im.global[size_t(part.joint_node[j])] *
                                 parts.skinned_mesh->mBones[j]->mOffsetMatrix);
        }
    }
    for (const VERTEX& v : parts.vertices) {
        aiVector3D p(v.position[0], v.position[1], v.position[2]);
        aiVector3D world(0, 0, 0);
        if (skin) {
            for (int k = 0; k < MAX_JOINT_INFLUENCES; ++k) {
                float w = v.joint_weights[k];
                int32_t j = int32_t(v.joint_indices[k]);
                if (w > 0.0f) {
                    world += (j >= 0 ? joint_pose[size_t(j)] * p : placement * p) * w;
                }
            }
        } else {
            world = placement * p;
        }
        bool first = im.out->vertex_count == 0 && &v == parts.vertices.data();
        grow_bounds(im.out, world, first);
    }
}

// The actor the k-th model of a node goes on: the node's own actor first,
// then one new child actor per further model.
MODEL_ACTOR* actor_for_model(IMPORT& im, int32_t node, int32_t k) {
    MODEL_ACTOR* owner = im.node_actor[size_t(node)];
    if (k == 0) {
        return owner;
    }
    MODEL_ACTOR* extra = new MODEL_ACTOR;
    im.out->actors.push_back(extra);
    std::string name = std::string(im.nodes[size_t(node)]->mName.C_Str()) + "#" + std::to_string(k);
    set_name(extra, name.c_str());
    model_actor_add_child(owner, extra);
    return extra;
}

// Builds the MODEL of parts on the node's k-th actor; parts is emptied.
void flush(IMPORT& im, MODEL_PARTS& parts, int32_t node, int32_t& k) {
    if (parts.vertices.empty()) {
        parts = MODEL_PARTS{};
        return;
    }
    int32_t count = int32_t(parts.vertices.size());
    bool skinned = parts.skinned_mesh != nullptr;
    MODEL* model = build_model(parts.vertices.data(), count, skinned);
    if (!model) {
        refuse("a model could not be built");
    }
    im.out->models.push_back(model);
    MODEL_ACTOR* actor = actor_for_model(im, node, k++);
    actor->model = model;
    for (PIECE& piece : parts.pieces) {
        MESH* mesh = build_mesh(model, piece.indices.data(), int32_t(piece.indices.size()));
        if (!mesh) {
            refuse("a mesh could not be built");
        }
        delete mesh->material;
        mesh->material = nullptr;
        mesh->material = make_material(im, piece.material);
        im.out->mesh_count += 1;
        im.out->triangle_count += int64_t(piece.indices.size() / 3);
    }
    SKIN* skin = skinned ? make_skin(im, parts.skinned_mesh, node, actor) : nullptr;
    if (skin) {
        im.out->skinned_actors.push_back(actor);
    }
    add_bounds(im, parts, node, skin);
    // Reference points: the model's own bounding corners.
    VECTOR4 lo{parts.vertices[0].position[0], parts.vertices[0].position[1],
               parts.vertices[0].position[2], 1};
    VECTOR4 hi = lo;
    for (const VERTEX& v : parts.vertices) {
        lo = VECTOR4{std::min(lo.x, v.position[0]), std::min(lo.y, v.position[1]),
                     std::min(lo.z, v.position[2]), 1};
        hi = VECTOR4{std::max(hi.x, v.position[0]), std::max(hi.y, v.position[1]),
                     std::max(hi.z, v.position[2]), 1};
    }
    model->reference_a = lo;
    model->reference_b = hi;
    for (MESH* mesh = model->meshes; mesh; mesh = mesh->next) {
        mesh->reference_a = lo;
        mesh->reference_b = hi;
    }
    im.out->vertex_count += count;
    parts = MODEL_PARTS{};
}

// Adds the triangles of mesh to parts, flushing whenever the next triangle
// would take the model past 65 536 vertices.
void add_mesh_triangles(IMPORT& im, MODEL_PARTS& parts, const aiMesh* mesh, int32_t node,
                        int32_t& k) {
    if (mesh->mNumVertices == 0 || !mesh->mVertices) {
        refuse(std::string("mesh '") + mesh->mName.C_Str() + "' has no vertices");
    }
    if (mesh->mNumFaces == 0 || !mesh->mFaces) {
        refuse(std::string("mesh '") + mesh->mName.C_Str() + "' has no triangles");
    }
    im.built_vertices += mesh->mNumVertices;
    if (im.built_vertices > MAX_TOTAL_VERTICES) {
        refuse("the file has more than " + std::to_string(MAX_TOTAL_VERTICES) + " vertices");
    }
    int32_t uv_channel = material_source(im, mesh->mMaterialIndex).uv_channel;
    bool skinned = mesh->mNumBones > 0;
    INFLUENCES influences;
    if (skinned) {
        if (!mesh->mBones) {
            refuse(std::string("mesh '") + mesh->mName.C_Str() + "' has no bone list");
        }
        for (unsigned b = 0; b < mesh->mNumBones; ++b) {
            if (!mesh->mBones[b]) {
                refuse(std::string("mesh '") + mesh->mName.C_Str() + "' has an empty bone");
            }
        }
        influences = read_influences(mesh);
        parts.skinned_mesh = mesh;
    }
    std::vector<int32_t> remap(mesh->mNumVertices, -1);
    std::vector<unsigned> mapped;
    parts.pieces.push_back(PIECE{mesh->mMaterialIndex, {}});
    int64_t triangles = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        if (face.mNumIndices != 3) {
            continue;
        }
        if (!face.mIndices) {
            refuse(std::string("mesh '") + mesh->mName.C_Str() + "' has a face without indices");
        }
        int32_t fresh = 0;
        for (int c = 0; c < 3; ++c) {
            unsigned i = face.mIndices[c];
            if (i >= mesh->mNumVertices) {
                refuse(std::string("mesh '") + mesh->mName.C_Str() + "' has index " +
                       std::to_string(i) + ", out of range for its " +
                       std::to_string(mesh->mNumVertices) + " vertices");
            }
            fresh += remap[i] == -1;
        }
        if (int64_t(parts.vertices.size()) + fresh > MAX_MODEL_VERTICES) {
            PIECE piece = std::move(parts.pieces.back());
            parts.pieces.pop_back();
            if (!piece.indices.empty()) {
                parts.pieces.push_back(std::move(piece));
            }
            const aiMesh* skinned_mesh = parts.skinned_mesh;
            flush(im, parts, node, k);
            parts.skinned_mesh = skinned_mesh;
            for (unsigned i : mapped) {
                remap[i] = -1;
            }
            mapped.clear();
            parts.pieces.push_back(PIECE{mesh->mMaterialIndex, {}});
        }
        for (int c = 0; c < 3; ++c) {
            unsigned i = face.mIndices[c];
            if (remap[i] == -1) {
                remap[i] = int32_t(parts.vertices.size());
                mapped.push_back(i);
                parts.vertices.push_back(
                    make_vertex(mesh, i, uv_channel, skinned ? &influences : nullptr));
            }
            parts.pieces.back().indices.push_back(uint16_t(remap[i]));
        }
        ++triangles;
    }
    if (parts.pieces.back().indices.empty()) {
        parts.pieces.pop_back();
    }
    if (triangles == 0) {
        refuse(std::string("mesh '") + mesh->mName.C_Str() + "' has no triangles");
    }
}

// The actor tree, one actor per node, and the models of every node's meshes:
// static meshes of a node share models, each skinned mesh has its own.
void build_actors(IMPORT& im) {
    for (size_t n = 0; n < im.nodes.size(); ++n) {
        MODEL_ACTOR* actor = new MODEL_ACTOR;
        im.out->actors.push_back(actor);
        im.node_actor.push_back(actor);
        set_name(actor, im.nodes[n]->mName.C_Str());
        // The node's matrix goes in the pivot: position, rotation and scale
        // stay at rest, free for the application to move the model with.
        actor->pivot = engine_matrix(im.nodes[n]->mTransformation);
        if (im.parent[n] != -1) {
            model_actor_add_child(im.node_actor[size_t(im.parent[n])], actor);
        }
    }
    im.out->root = im.node_actor[0];

    for (size_t n = 0; n < im.nodes.size(); ++n) {
        const aiNode* node = im.nodes[n];
        int32_t k = 0;
        MODEL_PARTS parts;
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            const aiMesh* mesh = im.scene->mMeshes[node->mMeshes[i]];
            if (!mesh) {
                refuse("a mesh entry is empty");
            }
            if (mesh->mNumBones == 0) {
                add_mesh_triangles(im, parts, mesh, int32_t(n), k);
            }
        }
        flush(im, parts, int32_t(n), k);
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            const aiMesh* mesh = im.scene->mMeshes[node->mMeshes[i]];
            if (mesh->mNumBones > 0) {
                add_mesh_triangles(im, parts, mesh, int32_t(n), k);
                flush(im, parts, int32_t(n), k);
            }
        }
    }
    if (im.out->models.empty()) {
        refuse("the file has no triangle meshes");
    }
}

bool convert(const aiScene* scene, const char* name, const std::string& directory, bool from_memory,
             const std::string& assimp_error, IMPORTED_MODEL* out) {
    if (!scene) {
        std::fprintf(stderr, "%s: %s\n", name, one_line(assimp_error.c_str()).c_str());
        return false;
    }
    IMPORT im;
    im.scene = scene;
    im.name = name;
    im.directory = directory;
    im.from_memory = from_memory;
    im.out = out;
    try {
        if (scene->mNumMeshes > 0 && !scene->mMeshes) {
            refuse("the file has no mesh list");
        }
        read_nodes(im);
        build_actors(im);
        make_clips(im);
        int32_t joints = 0;
        for (bool j : im.joint_nodes) {
            joints += j;
        }
        out->joint_count = joints;
        return true;
    } catch (const IMPORT_REFUSAL& refusal) {
        release_imported_model(out);
        std::fprintf(stderr, "%s: %s\n", name, refusal.reason.c_str());
    } catch (const std::bad_alloc&) {
        release_imported_model(out);
        std::fprintf(stderr, "%s: out of memory\n", name);
    }
    return false;
}

void free_animation(ANIMATION* animation) {
    if (!animation) {
        return;
    }
    if (animation->frames) {
        delete[] animation->frames[0].joint_locals;
        delete[] animation->frames;
    }
    delete animation;
}

} // namespace

[[noreturn]] void refuse(std::string reason) {
    throw IMPORT_REFUSAL{std::move(reason)};
}

bool finite(const aiVector3D& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool finite(const aiMatrix4x4& m) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!std::isfinite(m[r][c])) {
                return false;
            }
        }
    }
    return true;
}

MATRIX4 engine_matrix(const aiMatrix4x4& m) {
    // Assimp stores rows; the engine stores columns.
    MATRIX4 out;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            out.m[c * 4 + r] = m[r][c];
        }
    }
    return out;
}

bool import_model(const char* path, IMPORTED_MODEL* out) {
    auto start = std::chrono::steady_clock::now();
    const char* name = path ? path : "(null)";
    if (!out || !out->actors.empty() || !out->models.empty()) {
        std::fprintf(stderr, "%s: the model record to load into is not empty\n", name);
        return false;
    }
    if (!path || !*path) {
        std::fprintf(stderr, "%s: no file name\n", name);
        return false;
    }
    std::string directory = path;
    size_t slash = directory.rfind('/');
    directory = slash == std::string::npos ? std::string() : directory.substr(0, slash + 1);
    if (is_off(path)) {
        char head[512];
        std::FILE* f = std::fopen(path, "rb");
        if (f) {
            size_t n = std::fread(head, 1, sizeof head, f);
            std::fseek(f, 0, SEEK_END);
            long size = std::ftell(f);
            std::fclose(f);
            std::string reason;
            if (!off_header_plausible(head, n, uint64_t(size > 0 ? size : 0), &reason)) {
                std::fprintf(stderr, "%s: %s\n", name, reason.c_str());
                return false;
            }
        }
    }
    Assimp::Importer importer;
    configure(importer);
    const aiScene* scene = importer.ReadFile(path, POST_PROCESS);
    bool ok = convert(scene, name, directory, false, importer.GetErrorString(), out);
    out->load_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return ok;
}

bool import_model_from_memory(const void* data, size_t size, const char* hint, const char* name,
                              IMPORTED_MODEL* out) {
    auto start = std::chrono::steady_clock::now();
    name = name ? name : "(model in memory)";
    if (!out || !out->actors.empty() || !out->models.empty()) {
        std::fprintf(stderr, "%s: the model record to load into is not empty\n", name);
        return false;
    }
    if (!data || size == 0) {
        std::fprintf(stderr, "%s: no model data\n", name);
        return false;
    }
    std::string reason;
    if (is_off(hint) && !off_header_plausible(static_cast<const char*>(data),
                                              std::min(size, size_t(512)), size, &reason)) {
        std::fprintf(stderr, "%s: %s\n", name, reason.c_str());
        return false;
    }
    Assimp::Importer importer;
    configure(importer);
    importer.SetIOHandler(new NO_FILES); // the importer owns and deletes it
    std::vector<char> obj_text;
    if (has_extension(hint, "obj")) {
        obj_text = without_material_libraries(data, size);
        data = obj_text.data();
    }
    const aiScene* scene = importer.ReadFileFromMemory(data, size, POST_PROCESS, hint ? hint : "");
    bool ok = convert(scene, name, std::string(), true, importer.GetErrorString(), out);
    out->load_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return ok;
}

void scene_add_imported_model(SCENE_LAYER* layer, IMPORTED_MODEL* model) {
    if (!layer || !model || !model->root || model->layer) {
        return;
    }
    layer_add_model_actor(layer, model->root);
    model->layer = layer;
}

void release_imported_model(IMPORTED_MODEL* model) {
    if (!model) {
        return;
    }
    // Out of the layer's list first, so the scene never names a freed actor.
    if (model->layer && model->root) {
        SCENE_LAYER* layer = model->layer;
        if (layer->model_actors == model->root) {
            layer->model_actors = static_cast<MODEL_ACTOR*>(model->root->next);
            --layer->model_actor_count;
        } else {
            for (ACTOR* a = layer->model_actors; a; a = a->next) {
                if (a->next == model->root) {
                    a->next = model->root->next;
                    --layer->model_actor_count;
                    break;
                }
            }
        }
        model->root->next = nullptr;
    }
    for (MODEL_ACTOR* actor : model->actors) {
        delete actor;
    }
    for (MODEL* m : model->models) {
        delete m; // meshes, materials, textures and buffers with it
    }
    for (SKIN* skin : model->skins) {
        if (skin->joint_count > 0 && skin->joints) {
            delete[] skin->joints[0]; // the joints are one block
        }
        destroy_skin(skin);
    }
    for (IMPORTED_CLIP& clip : model->clips) {
        for (ANIMATION* animation : clip.per_actor) {
            free_animation(animation);
        }
    }
    *model = IMPORTED_MODEL{};
}

void imported_model_play(IMPORTED_MODEL* model, int32_t clip) {
    bool valid = clip >= 0 && size_t(clip) < model->clips.size();
    for (size_t i = 0; i < model->skinned_actors.size(); ++i) {
        MODEL_ACTOR* actor = model->skinned_actors[i];
        ANIMATION* animation = valid && i < model->clips[size_t(clip)].per_actor.size()
                                   ? model->clips[size_t(clip)].per_actor[i]
                                   : nullptr;
        if (animation) {
            animation->playback_position = 0.5f * animation->speed;
        }
        actor->animation = animation;
        actor->current_frame = nullptr;
        actor->posed = false; // pose again even if the frame pointer matches
    }
}

void imported_model_pause(IMPORTED_MODEL* model, bool paused) {
    for (IMPORTED_CLIP& clip : model->clips) {
        for (ANIMATION* animation : clip.per_actor) {
            animation->rate = paused ? 0.0f : 1.0f;
        }
    }
}

void imported_model_use_cpu_skinning(IMPORTED_MODEL* model, bool on_cpu) {
    for (MODEL_ACTOR* actor : model->skinned_actors) {
        if (actor->skin_on_cpu == on_cpu) {
            continue;
        }
        actor->skin_on_cpu = on_cpu;
        actor->posed = false; // the CPU path deforms the vertices at the next update
        MODEL* m = actor->model;
        if (!on_cpu && m && m->vertices.data && m->source_vertices.data &&
            m->vertices.count == m->source_vertices.count) {
            // The GPU deforms the bind pose: put it back in the drawn buffer.
            std::memcpy(m->vertices.data, m->source_vertices.data,
                        size_t(m->vertices.count) * sizeof(VERTEX));
            m->vertices.upload(m->vertices.count);
        }
    }
}
