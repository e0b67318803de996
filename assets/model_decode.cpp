// Model files into the flat DECODED_MODEL (see decoded_model.h): Assimp
// reads the file, this file checks the node tree and every mesh against the
// engine's rules and gathers the vertices and triangles of every MODEL to
// be; materials are in model_material.cpp, skins and animations in
// model_skin.cpp. Makes no engine object and no GL call, so it runs the same
// in the decoder process and in the caller's. Owns no globals.
#include "assets/model_decode.h"

#include "assets/import_context.h"
#include "assets/input_guards.h"
#include "assets/neighbour_files.h"

#include "shader/limits.h"

#include <assimp/DefaultLogger.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <strings.h>
#include <unordered_set>

namespace {

constexpr unsigned POST_PROCESS = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                  aiProcess_SortByPType | aiProcess_GenSmoothNormals |
                                  aiProcess_LimitBoneWeights | aiProcess_SplitByBoneCount |
                                  aiProcess_ValidateDataStructure | aiProcess_FlipUVs;

// Assimp's readers say in a log warning, and nowhere else, when they leave
// faces out (a glTF triangle with an index out of range): while a file is
// read, those warnings are listened to, through the application's logger if
// it has one, or a logger of our own for the time of the read.
struct DROPPED_FACES_LISTENER : Assimp::LogStream {
    std::string message; // the first warning about dropped faces
    void write(const char* text) override {
        std::string line = text ? text : "";
        if (message.empty() && line.find("dropped") != std::string::npos) {
            size_t colon = line.find(": "); // "Warn,  T0: ..."
            message = line.substr(colon == std::string::npos ? 0 : colon + 2);
            while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
                message.pop_back();
            }
        }
    }
};

struct LISTENING {
    DROPPED_FACES_LISTENER* listener = new DROPPED_FACES_LISTENER;
    bool own_logger = Assimp::DefaultLogger::isNullLogger();
    LISTENING() {
        if (own_logger) {
            Assimp::DefaultLogger::create("", Assimp::Logger::NORMAL, 0);
        }
        Assimp::DefaultLogger::get()->attachStream(listener, Assimp::Logger::Warn);
    }
    ~LISTENING() {
        Assimp::DefaultLogger::get()->detachStream(listener, Assimp::Logger::Warn);
        delete listener;
        if (own_logger) {
            Assimp::DefaultLogger::kill();
        }
    }
    LISTENING(const LISTENING&) = delete;
    LISTENING& operator=(const LISTENING&) = delete;
};

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
struct MODEL_PARTS {
    std::vector<VERTEX> vertices;
    std::vector<DECODED_PIECE> pieces;
    const aiMesh* skinned_mesh = nullptr; // the one mesh of a skinned model
};

void grow_bounds(DECODED_MODEL* out, const aiVector3D& p, bool first) {
    if (first) {
        out->bounds_min = out->bounds_max = VECTOR3{p.x, p.y, p.z};
        return;
    }
    out->bounds_min = VECTOR3{std::min(out->bounds_min.x, p.x), std::min(out->bounds_min.y, p.y),
                              std::min(out->bounds_min.z, p.z)};
    out->bounds_max = VECTOR3{std::max(out->bounds_max.x, p.x), std::max(out->bounds_max.y, p.y),
                              std::max(out->bounds_max.z, p.z)};
}

// Bind-pose bounds of a part's vertices in the root's placement space.
void add_bounds(IMPORT& im, const MODEL_PARTS& parts, int32_t node, bool skinned, bool first) {
    const aiMatrix4x4& placement = im.global[size_t(node)];
    std::vector<aiMatrix4x4> joint_pose;
    if (skinned) {
        const SKINNED_PART& part = im.skinned.back();
        for (size_t j = 0; j < part.joint_node.size(); ++j) {
            // A bone without a node is held where its bind matrix puts it.
            joint_pose.push_back(part.joint_node[j] < 0
                                     ? placement
                                     : im.global[size_t(part.joint_node[j])] *
                                           parts.skinned_mesh->mBones[j]->mOffsetMatrix);
        }
    }
    for (const VERTEX& v : parts.vertices) {
        aiVector3D p(v.position[0], v.position[1], v.position[2]);
        aiVector3D world(0, 0, 0);
        if (skinned) {
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
        grow_bounds(im.out, world, first && &v == parts.vertices.data());
    }
}

// The node the k-th model of a node goes on: the node itself first, then one
// new child node per further model.
int32_t node_for_model(IMPORT& im, int32_t node, int32_t k) {
    if (k == 0) {
        return node;
    }
    DECODED_NODE extra;
    extra.name = std::string(im.nodes[size_t(node)]->mName.C_Str()) + "#" + std::to_string(k);
    extra.parent = node;
    matrix_identity(extra.pivot);
    im.out->nodes.push_back(std::move(extra));
    return int32_t(im.out->nodes.size() - 1);
}

// Records parts as one DECODED_PART of the node's k-th model; parts is emptied.
void flush(IMPORT& im, MODEL_PARTS& parts, int32_t node, int32_t& k) {
    if (parts.vertices.empty()) {
        parts = MODEL_PARTS{};
        return;
    }
    const bool first = im.out->parts.empty();
    DECODED_PART part;
    part.node = node_for_model(im, node, k++);
    part.pieces = std::move(parts.pieces);
    bool skinned = parts.skinned_mesh != nullptr;
    if (skinned) {
        part.skin = make_skin(im, parts.skinned_mesh, node);
    }
    add_bounds(im, parts, node, skinned, first);
    part.vertices = std::move(parts.vertices);
    im.out->parts.push_back(std::move(part));
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
    read_material(im, mesh->mMaterialIndex);
    int32_t uv_channel = im.uv_channel[mesh->mMaterialIndex];
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
    parts.pieces.push_back(DECODED_PIECE{mesh->mMaterialIndex, {}});
    int64_t triangles = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        if (face.mNumIndices != 3) {
            ++im.dropped_faces; // left over from the reader: no triangle to draw
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
            DECODED_PIECE piece = std::move(parts.pieces.back());
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
            parts.pieces.push_back(DECODED_PIECE{mesh->mMaterialIndex, {}});
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

// One decoded node per node of the file, and the parts of every node's
// meshes: static meshes of a node share parts, each skinned mesh has its own.
void gather_parts(IMPORT& im) {
    for (size_t n = 0; n < im.nodes.size(); ++n) {
        DECODED_NODE node;
        node.name = im.nodes[n]->mName.C_Str();
        node.parent = im.parent[n];
        // The node's matrix goes in the pivot: position, rotation and scale
        // stay at rest, free for the application to move the model with.
        node.pivot = engine_matrix(im.nodes[n]->mTransformation);
        im.out->nodes.push_back(std::move(node));
    }
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
    if (im.out->parts.empty()) {
        refuse("the file has no triangle meshes");
    }
}

DECODE_STATUS convert(const aiScene* scene, const std::string& directory, int folder,
                      bool from_memory, const std::string& assimp_error,
                      const std::string& reader_dropped, DECODED_MODEL* out, std::string* reason) {
    if (!scene) {
        // Assimp catches what its readers throw, running out of memory included.
        if (assimp_error.find("bad_alloc") != std::string::npos) {
            return DECODE_OUT_OF_MEMORY;
        }
        *reason = one_line(assimp_error.c_str());
        return DECODE_REFUSED;
    }
    IMPORT im;
    im.scene = scene;
    im.directory = directory;
    im.folder = folder;
    im.from_memory = from_memory;
    im.out = out;
    try {
        if (scene->mNumMeshes > 0 && !scene->mMeshes) {
            refuse("the file has no mesh list");
        }
        read_nodes(im);
        gather_parts(im);
        make_clips(im);
        for (bool j : im.joint_nodes) {
            out->joint_count += j;
        }
        if (!reader_dropped.empty() || im.dropped_faces > 0) {
            out->warnings.push_back(
                reader_dropped.empty()
                    ? std::to_string(im.dropped_faces) +
                          " faces the reader could not make triangles of are left out"
                    : "the reader left faces out (" + reader_dropped + ")");
        }
        return DECODE_LOADED;
    } catch (const IMPORT_REFUSAL& refusal) {
        *out = DECODED_MODEL{};
        *reason = refusal.reason;
        return DECODE_REFUSED;
    } catch (const std::bad_alloc&) {
        *out = DECODED_MODEL{};
        return DECODE_OUT_OF_MEMORY;
    }
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

DECODE_STATUS decode_model(const DECODER_FILES* files, const void* data, size_t size,
                           const char* hint, DECODED_MODEL* out, std::string* reason) {
    // The guards read the untrusted bytes, so they run here, in the decoder,
    // on the descriptor it was handed.
    const bool guarded =
        files ? model_descriptor_guard(files->file, files->name.c_str(), reason)
              : model_content_guard(static_cast<const uint8_t*>(data), size, hint, reason);
    if (!guarded) {
        return DECODE_REFUSED;
    }
    try {
        LISTENING listening;
        Assimp::Importer importer;
        configure(importer);
        const aiScene* scene = nullptr;
        if (files) {
            // Only the model and the regular files below its folder are read.
            NEIGHBOUR_FILES* system = new NEIGHBOUR_FILES(*files);
            importer.SetIOHandler(system); // the importer owns and deletes it
            scene = importer.ReadFile(files->name, POST_PROCESS);
            if (!scene && !system->refusal.empty()) {
                *reason = system->refusal;
                return DECODE_REFUSED;
            }
            const size_t slash = files->name.rfind('/');
            const std::string directory =
                slash == std::string::npos ? std::string() : files->name.substr(0, slash + 1);
            return convert(scene, directory, files->folder, false, importer.GetErrorString(),
                           listening.listener->message, out, reason);
        }
        importer.SetIOHandler(new NO_FILES);
        std::vector<char> obj_text;
        if (has_extension(hint, "obj")) {
            obj_text = without_material_libraries(data, size);
            data = obj_text.data();
        }
        scene = importer.ReadFileFromMemory(data, size, POST_PROCESS, hint ? hint : "");
        return convert(scene, std::string(), -1, true, importer.GetErrorString(),
                       listening.listener->message, out, reason);
    } catch (const std::bad_alloc&) {
        *out = DECODED_MODEL{};
        return DECODE_OUT_OF_MEMORY;
    }
}
