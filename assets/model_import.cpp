// Model files into the engine's records (see model_import.h): a check of
// the file's type and size (none of its bytes are read here), then the
// decoder (in its own process, or in this one when import_options ask)
// runs the guards of input_guards.h and hands back a DECODED_MODEL, which is checked
// again here against the engine's rules before it becomes the MODEL_ACTOR
// tree with its MODELs, MATERIALs, SKINs and ANIMATIONs. Owns
// import_options; a refused file leaves nothing behind and prints one line.
#include "assets/model_import.h"

#include "assets/decoder_process.h"
#include "assets/input_guards.h"
#include "assets/model_decode.h"
#include "assets/picture_decode.h"

#include "scene/actor.h"
#include "scene/builders.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/skin.h"
#include "scene/texture.h"
#include "shader/limits.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

IMPORT_OPTIONS import_options;
const char* packaged_decoder = nullptr;

void prepare_model_decoder() {
    if (!import_options.in_process) {
        decoder_prepare(import_options);
    }
}

namespace {

// Longer clips are refused by the decoder; a description that says more is damaged.
constexpr int32_t MAX_CLIP_FRAMES = 600 * 60 + 1;

struct BUILD_REFUSAL {
    std::string reason;
};

void check(bool ok, const char* what) {
    if (!ok) {
        throw BUILD_REFUSAL{std::string("the decoded model is damaged (") + what + ")"};
    }
}

bool finite(const float* v, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (!std::isfinite(v[i])) {
            return false;
        }
    }
    return true;
}

bool finite(const MATRIX4& m) {
    return finite(m.m, 16);
}

// Everything the builder relies on, checked before anything is built: the
// decoder may have been fooled or killed half-way, the description is input.
void check_decoded(const DECODED_MODEL& d) {
    const size_t nodes = d.nodes.size();
    check(nodes >= 1 && nodes <= MAX_NODES + d.parts.size(), "node count");
    std::vector<int32_t> depth(nodes, 1);
    for (size_t n = 0; n < nodes; ++n) {
        const DECODED_NODE& node = d.nodes[n];
        check(n == 0 ? node.parent == -1 : node.parent >= 0 && size_t(node.parent) < n,
              "node tree");
        depth[n] = n == 0 ? 1 : depth[size_t(node.parent)] + 1;
        check(depth[n] <= MAX_NODE_DEPTH + 1, "node depth");
        check(finite(node.pivot), "node transform");
    }
    std::vector<bool> material_used(d.materials.size(), false), node_has_model(nodes, false),
        skin_used(d.skins.size(), false);
    int64_t total = 0;
    check(!d.parts.empty(), "no meshes");
    for (const DECODED_PART& part : d.parts) {
        check(part.node >= 0 && size_t(part.node) < nodes && !node_has_model[size_t(part.node)],
              "mesh node");
        node_has_model[size_t(part.node)] = true;
        const int32_t count = int32_t(std::min<size_t>(part.vertices.size(), INT32_MAX));
        check(count >= 1 && count <= MAX_MODEL_VERTICES, "vertex count");
        total += count;
        check(total <= MAX_TOTAL_VERTICES, "vertex total");
        int32_t joints = 0;
        if (part.skin != -1) {
            check(part.skin >= 0 && size_t(part.skin) < d.skins.size() &&
                      !skin_used[size_t(part.skin)],
                  "skin");
            skin_used[size_t(part.skin)] = true;
            joints = int32_t(d.skins[size_t(part.skin)].joints.size());
        }
        for (const VERTEX& v : part.vertices) {
            check(finite(v.position, 4) && finite(v.normal, 3) && finite(v.texcoord0, 2) &&
                      finite(v.texcoord1, 2) && finite(v.joint_weights, 4),
                  "vertex");
            for (float j : v.joint_indices) {
                check(j == -1.0f ||
                          (part.skin != -1 && j >= 0.0f && j < float(joints) && j == std::floor(j)),
                      "joint index");
            }
        }
        check(!part.pieces.empty(), "mesh without triangles");
        for (const DECODED_PIECE& piece : part.pieces) {
            check(piece.material < d.materials.size(), "material index");
            material_used[piece.material] = true;
            check(!piece.indices.empty() && piece.indices.size() % 3 == 0 &&
                      piece.indices.size() <= size_t(INT32_MAX),
                  "index count");
            for (uint16_t i : piece.indices) {
                check(i < count, "index");
            }
        }
    }
    for (size_t m = 0; m < d.materials.size(); ++m) {
        const DECODED_MATERIAL& mat = d.materials[m];
        if (!material_used[m]) {
            continue;
        }
        check(finite(mat.diffuse, 4) && finite(mat.specular, 3) && finite(mat.emission, 3) &&
                  std::isfinite(mat.alpha),
              "material");
        check(picture_size_acceptable(mat.width, mat.height) &&
                  mat.pixels.size() == size_t(mat.width) * size_t(mat.height) * 4,
              "picture size");
    }
    for (size_t s = 0; s < d.skins.size(); ++s) {
        const std::vector<DECODED_JOINT>& joints = d.skins[s].joints;
        check(skin_used[s] && !joints.empty() && joints.size() <= size_t(MAX_JOINTS),
              "joint count");
        for (size_t j = 0; j < joints.size(); ++j) {
            const DECODED_JOINT& joint = joints[j];
            check(finite(joint.bind_local) && finite(joint.current) && finite(joint.inverse_bind) &&
                      finite(joint.normal, 9),
                  "joint transform");
            // Parents in range and no circle: every chain reaches a root
            // within as many steps as there are joints.
            int32_t at = int32_t(j);
            for (size_t steps = 0; at != -1; ++steps) {
                check(at >= 0 && size_t(at) < joints.size() && steps <= joints.size(),
                      "joint tree");
                at = joints[size_t(at)].parent;
            }
        }
    }
    for (const DECODED_CLIP& clip : d.clips) {
        check(std::isfinite(clip.seconds) && clip.seconds >= 0.0f && clip.frame_count >= 1 &&
                  clip.frame_count <= MAX_CLIP_FRAMES && clip.per_skin.size() == d.skins.size(),
              "animation");
        for (size_t s = 0; s < d.skins.size(); ++s) {
            check(clip.per_skin[s].size() == size_t(clip.frame_count) * d.skins[s].joints.size(),
                  "animation frames");
            for (const MATRIX4& m : clip.per_skin[s]) {
                check(finite(m), "animation pose");
            }
        }
    }
    check(finite(&d.bounds_min.x, 1) && finite(&d.bounds_min.y, 1) && finite(&d.bounds_min.z, 1) &&
              finite(&d.bounds_max.x, 1) && finite(&d.bounds_max.y, 1) &&
              finite(&d.bounds_max.z, 1),
          "bounds");
}

MATERIAL* make_material(const DECODED_MATERIAL& source) {
    MATERIAL* material = new MATERIAL;
    material->alpha = std::clamp(source.alpha, 0.0f, 1.0f);
    material->transparent = source.transparent != 0;
    material->cull_mode = source.two_sided ? 2 : 1;
    std::copy(source.diffuse, source.diffuse + 4, material->colour);
    material->first_colour =
        VECTOR4{source.diffuse[0], source.diffuse[1], source.diffuse[2], source.diffuse[3]};
    material->has_specular = true;
    material->specular = VECTOR4{source.specular[0], source.specular[1], source.specular[2], 1};
    material->emission = VECTOR4{source.emission[0], source.emission[1], source.emission[2], 1};

    TEXTURE* texture = new TEXTURE;
    try {
        resize_image(texture->image, source.width, source.height);
    } catch (...) {
        delete texture;
        delete material;
        throw;
    }
    std::memcpy(texture->image->pixels, source.pixels.data(), source.pixels.size());
    texture_take_picture(texture);
    material_add_texture(material, texture);
    return material;
}

SKIN* make_skin(const DECODED_SKIN& source, bool animated, IMPORTED_MODEL* out) {
    const size_t count = source.joints.size();
    SKIN* skin = build_skin(int32_t(count));
    out->skins.push_back(skin);
    JOINT* joints = new JOINT[count]; // freed with the skin, as one block
    for (size_t b = 0; b < count; ++b) {
        const DECODED_JOINT& j = source.joints[b];
        joint_init(&joints[b], int32_t(b));
        skin->joints[b] = &joints[b];
        joints[b].bind_local_transform = j.bind_local;
        joints[b].current_transform = j.current;
        joints[b].inverse_bind_matrix = j.inverse_bind;
        std::copy(j.normal, j.normal + 9, joints[b].normal_matrix);
        joints[b].animated = animated;
    }
    for (size_t b = 0; b < count; ++b) {
        int32_t parent = source.joints[b].parent;
        if (parent == -1) {
            skin_add_root(skin, &joints[b]);
        } else {
            joint_add_child(&joints[parent], &joints[b]);
        }
    }
    return skin;
}

ANIMATION* make_animation(const DECODED_CLIP& clip, const std::vector<MATRIX4>& poses,
                          size_t joints) {
    ANIMATION* anim = new ANIMATION;
    anim->frame_count = clip.frame_count;
    anim->frames = new ANIMATION_FRAME[size_t(clip.frame_count)];
    MATRIX4* block = new MATRIX4[std::max<size_t>(poses.size(), 1)];
    std::copy(poses.begin(), poses.end(), block);
    for (int32_t f = 0; f < clip.frame_count; ++f) {
        anim->frames[f].joint_locals = block + size_t(f) * joints;
    }
    // One step per frame; starting half a frame in keeps the truncating
    // frame choice on whole frames despite rounding.
    anim->speed = clip.frame_count > 1 ? 1.0f / float(clip.frame_count - 1) : 0.0f;
    anim->playback_position = 0.5f * anim->speed;
    anim->rate = 1.0f;
    return anim;
}

// The engine's objects of a checked description.
void build(const DECODED_MODEL& d, IMPORTED_MODEL* out) {
    std::vector<MODEL_ACTOR*> node_actor;
    for (const DECODED_NODE& node : d.nodes) {
        MODEL_ACTOR* actor = new MODEL_ACTOR;
        out->actors.push_back(actor);
        node_actor.push_back(actor);
        set_name(actor, node.name.c_str());
        actor->pivot = node.pivot;
        if (node.parent != -1) {
            model_actor_add_child(node_actor[size_t(node.parent)], actor);
        }
    }
    out->root = node_actor[0];
    std::vector<MATERIAL*> unused;
    std::vector<MODEL_ACTOR*> actor_of_skin(d.skins.size(), nullptr);
    for (const DECODED_PART& part : d.parts) {
        const int32_t count = int32_t(part.vertices.size());
        MODEL* model = build_model(part.vertices.data(), count, part.skin != -1);
        if (!model) {
            throw BUILD_REFUSAL{"a model could not be built"};
        }
        out->models.push_back(model);
        MODEL_ACTOR* actor = node_actor[size_t(part.node)];
        actor->model = model;
        for (const DECODED_PIECE& piece : part.pieces) {
            MESH* mesh = build_mesh(model, piece.indices.data(), int32_t(piece.indices.size()));
            if (!mesh) {
                throw BUILD_REFUSAL{"a mesh could not be built"};
            }
            delete mesh->material;
            mesh->material = nullptr;
            mesh->material = make_material(d.materials[piece.material]);
            out->mesh_count += 1;
            out->triangle_count += int64_t(piece.indices.size() / 3);
        }
        // Reference points: the model's own bounding corners.
        VECTOR4 lo{part.vertices[0].position[0], part.vertices[0].position[1],
                   part.vertices[0].position[2], 1};
        VECTOR4 hi = lo;
        for (const VERTEX& v : part.vertices) {
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
        out->vertex_count += count;
        if (part.skin != -1) {
            actor_of_skin[size_t(part.skin)] = actor;
        }
    }
    // Skins in description order, which is the order of skinned_actors and
    // of every clip's per-actor list.
    for (size_t s = 0; s < d.skins.size(); ++s) {
        MODEL_ACTOR* actor = actor_of_skin[s];
        actor->skin = make_skin(d.skins[s], !d.clips.empty(), out);
        out->skinned_actors.push_back(actor);
    }
    for (const DECODED_CLIP& source : d.clips) {
        IMPORTED_CLIP clip;
        std::snprintf(clip.name, sizeof clip.name, "%s", source.name.c_str());
        clip.seconds = source.seconds;
        out->clips.push_back(clip);
        for (size_t s = 0; s < d.skins.size(); ++s) {
            out->clips.back().per_actor.push_back(
                make_animation(source, source.per_skin[s], d.skins[s].joints.size()));
        }
    }
    out->bounds_min = d.bounds_min;
    out->bounds_max = d.bounds_max;
    out->joint_count = std::clamp<int32_t>(d.joint_count, 0, int32_t(d.nodes.size()));
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

std::string memory_words(uint64_t bytes) {
    char text[32];
    if (bytes >= (uint64_t(1) << 30)) {
        std::snprintf(text, sizeof text, "%g GB", double(bytes) / double(uint64_t(1) << 30));
    } else {
        std::snprintf(text, sizeof text, "%g MB", double(bytes) / double(1 << 20));
    }
    return text;
}

// Decodes (path, or data with hint), checks and builds: the one line on
// stderr on failure, the warnings after a success.
bool import(const char* name, const DECODER_FILES* files, const void* data, size_t size,
            const char* hint, IMPORTED_MODEL* out) {
    DECODED_MODEL decoded;
    std::string reason;
    DECODE_STATUS status = DECODE_REFUSED;
    try {
        status = import_options.in_process
                     ? decode_model(files, data, size, hint, &decoded, &reason)
                     : decode_in_child(files, data, size, hint, import_options, &decoded, &reason);
    } catch (const std::bad_alloc&) {
        decoded = DECODED_MODEL{};
        reason = "out of memory";
    }
    if (status == DECODE_OUT_OF_MEMORY) {
        reason = import_options.in_process ? "out of memory"
                                           : "the decoder ran out of its " +
                                                 memory_words(import_options.memory_limit_bytes);
    }
    if (status == DECODE_LOADED && decoded_model_build(decoded, out, &reason)) {
        for (const std::string& warning : decoded.warnings) {
            std::fprintf(stderr, "%s: warning: %s\n", name, warning.c_str());
        }
        return true;
    }
    if (!reason.empty()) { // empty: abandoned because the program is ending
        std::fprintf(stderr, "%s: %s\n", name, reason.c_str());
    }
    return false;
}

double milliseconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

bool decoded_model_build(const DECODED_MODEL& decoded, IMPORTED_MODEL* out, std::string* reason) {
    try {
        check_decoded(decoded);
        build(decoded, out);
        return true;
    } catch (const BUILD_REFUSAL& refusal) {
        *reason = refusal.reason;
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
    }
    release_imported_model(out);
    return false;
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
    std::string reason;
    DECODER_FILES files;
    if (!input_file_check(path, UINT64_MAX, &reason) ||
        !open_decoder_files(path, true, &files, &reason)) {
        std::fprintf(stderr, "%s: %s\n", name, reason.c_str());
        return false;
    }
    // The decoder gets the opened file and its neighbours' folder, never the
    // path: nothing it opens is resolved against another working folder.
    bool ok = import(name, &files, nullptr, 0, nullptr, out);
    close_decoder_files(&files);
    out->load_ms = milliseconds_since(start);
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
    bool ok = import(name, nullptr, data, size, hint, out);
    out->load_ms = milliseconds_since(start);
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
