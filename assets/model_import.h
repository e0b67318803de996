// Model files into the engine's own objects: a MODEL_ACTOR tree that mirrors
// the file's nodes, with MODELs, MESHes, MATERIALs, SKINs and ANIMATIONs,
// all owned by one IMPORTED_MODEL and released by one call. The file is
// decoded (Assimp, SDL2_image) in a separate, limited decoder process, so a
// fault in a decoder costs one refused file, not the program; the result
// comes back as a flat description that is checked before it is built.
#pragma once

#include "math/matrix.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ANIMATION;
struct MODEL;
struct MODEL_ACTOR;
struct SCENE_LAYER;
struct SKIN;

// One animation of the file, sampled at 60 frames per second: one ANIMATION
// per skinned actor (each SKIN has its own joint set), in actor order.
struct IMPORTED_CLIP {
    char name[64] = {};
    float seconds = 0.0f;
    std::vector<ANIMATION*> per_actor; // parallel to IMPORTED_MODEL::skinned_actors
};

struct IMPORTED_MODEL {
    MODEL_ACTOR* root = nullptr; // the file's root node; children mirror its hierarchy
    // Everything below is owned and freed by release_imported_model.
    std::vector<MODEL_ACTOR*> actors;         // every node, root first
    std::vector<MODEL_ACTOR*> skinned_actors; // the actors carrying a SKIN
    std::vector<MODEL*> models;
    std::vector<SKIN*> skins;
    std::vector<IMPORTED_CLIP> clips;
    // Bind-pose bounds of every vertex in the root's space.
    VECTOR3 bounds_min{0, 0, 0};
    VECTOR3 bounds_max{0, 0, 0};
    // Figures for the summary line.
    int32_t mesh_count = 0;
    int64_t vertex_count = 0;
    int64_t triangle_count = 0;
    int32_t joint_count = 0;
    double load_ms = 0.0;
    SCENE_LAYER* layer = nullptr; // where scene_add_imported_model put root, or null
};

// How far the decoder process locks itself in (docs/untrusted-files.md):
// OFFERED uses every layer the system offers and says once which are missing;
// REQUIRED refuses to decode without all of them; OFF (no lock, only the
// limits) is for measuring what the lock costs. $VEXA_DECODER_SANDBOX
// ("required", "off") overrides the setting.
enum DECODER_SANDBOX : int32_t {
    DECODER_SANDBOX_OFFERED = 0,
    DECODER_SANDBOX_REQUIRED = 1,
    DECODER_SANDBOX_OFF = 2,
};

// How files are decoded; import_options holds the values every import uses.
struct IMPORT_OPTIONS {
    // Decode in the calling process (tests, fuzzing, platforms without
    // processes): no limits, and a crash in Assimp or SDL2_image ends the
    // program. Pictures (load_picture, load_texture) follow these options too.
    bool in_process = false;
    // The decoder process's limits: its address space, and its CPU time and
    // wall time each (it is killed when either runs out).
    uint64_t memory_limit_bytes = uint64_t(2) << 30;
    double seconds_limit = 30.0;
    // The decoder program; null: $VEXA_DECODER, then vexa-decode beside the
    // running program, then the one of the package the program was built
    // against, then the one installed with the engine.
    const char* decoder = nullptr;
    // The largest answer taken from the decoder (it is read as it arrives,
    // never allocated from the length it claims); a larger one is refused.
    uint64_t answer_limit_bytes = uint64_t(1) << 30;
    DECODER_SANDBOX sandbox = DECODER_SANDBOX_OFFERED;
    // The decoder server is replaced by a freshly started one after this
    // many decodes (and after any decode that crashed), so that decodes do
    // not share one address layout and stack canary for long.
    int32_t decodes_per_server = 32;
    // Asked about every 20 ms while the decoder runs; false kills it and the
    // import fails without a line (the program is ending: a signal, the
    // window's close button).
    bool (*keep_waiting)(void* user) = nullptr;
    void* user = nullptr;
};
extern IMPORT_OPTIONS import_options;

// The decoder the installed package put beside the library, looked for after
// the running program's own folders. A program built against the package
// sets it through VEXA_DECODER_PATH (the package's compile definition), so
// it is found wherever the prefix was installed or moved to.
extern const char* packaged_decoder;
#ifdef VEXA_DECODER_PATH
inline const bool packaged_decoder_named = (packaged_decoder = VEXA_DECODER_PATH, true);
#endif

// Starts the decoder program now, in the background, so that the first
// import does not wait for it to load (tens of milliseconds); imports start
// it themselves when this was not called. Nothing to do with in_process.
void prepare_model_decoder();

// Reads path into out (which must be empty). On failure prints one line on
// stderr naming the file and the reason, leaves out empty and returns false.
// Needs a GL context (or the recording stand-in) for the buffers and textures.
bool import_model(const char* path, IMPORTED_MODEL* out);
// The same from a file held in memory; hint is its extension ("glb", "obj")
// and name is used in messages. Files it refers to by path (pictures,
// material libraries, buffers) are not read.
bool import_model_from_memory(const void* data, size_t size, const char* hint, const char* name,
                              IMPORTED_MODEL* out);

// Appends the model's root to layer's model-actor list.
void scene_add_imported_model(SCENE_LAYER* layer, IMPORTED_MODEL* model);
// Takes the root out of the layer it was added to (if any), then frees every
// actor, model, mesh, material, texture (and its GL texture while the context
// exists), skin and animation; model is left empty and may be reused.
void release_imported_model(IMPORTED_MODEL* model);

// Playback: every skinned actor plays clip index (out of range: none, the
// bind pose); paused sets the rate of the model's animations to 0.
void imported_model_play(IMPORTED_MODEL* model, int32_t clip);
void imported_model_pause(IMPORTED_MODEL* model, bool paused);
// Chooses CPU or GPU skinning for every skinned actor.
void imported_model_use_cpu_skinning(IMPORTED_MODEL* model, bool on_cpu);
