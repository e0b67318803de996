// Models, meshes and materials: MODEL (one vertex buffer shared by a list of
// MESHes), MESH (an index buffer and a MATERIAL), MATERIAL (draw modes,
// program, up to two textures, uniform values), and the code that applies a
// material and draws one mesh. Owns no globals; relies on the render-state
// cache, the buffer and texture bind caches, use_program and the per-draw
// uploads of scene/uniforms.h.
#pragma once

#include "gfx/vertex_buffer.h"
#include "math/matrix.h"
#include "scene/texture.h"

#include <cstdint>

struct ANIMATION;
struct SHADER_PROGRAM;
struct SKIN;

// Own modes and opacity first (the DRAW_PROPERTIES part: cull 1, depth 3,
// blend 0 = automatic, alpha 1), then what the draw sends. The overrides and
// the program are rewritten for every queued draw.
struct MATERIAL : DRAW_PROPERTIES {
    SHADER_PROGRAM* program = nullptr;
    int32_t texture_count = 0;    // at most MAX_MATERIAL_TEXTURES
    TEXTURE** textures = nullptr; // texture i binds to unit i; owned unless borrowed
    bool has_first_colour = true;
    // The material's own colour: multiplies its pictures, or is the surface
    // by itself without one ("colour_complement"; has_first_colour false: white).
    VECTOR4 first_colour{1, 1, 1, 1};
    bool has_second_colour = true;
    VECTOR4 second_colour{0.2f, 0.2f, 0.2f, 1}; // not sent
    bool has_specular = false;
    VECTOR4 specular{0, 0, 0, 1}; // x, y, z: "g_DatosMaterial.specular"
    bool has_scalar = false;
    float scalar = 0.0f; // not sent
    bool has_emission = true;
    VECTOR4 emission{0, 0, 0, 1}; // x, y, z: "g_DatosMaterial.emission"
    bool has_third_colour = false;
    VECTOR4 third_colour{0, 0, 0, 1}; // not sent
    bool has_texture_offsets = true;
    float texture_offsets[4] = {0, 0, 0, 0}; // (s, t) of texture 0, then of texture 1
    ANIMATION* texture_animation = nullptr;  // not owned
    int32_t depth_override = INHERIT;
    int32_t cull_override = INHERIT;
    int32_t blend_override = INHERIT;
    // Bit i: the texture at unit i was shown by material_set_texture and stays
    // its caller's; releasing the material neither frees nor reads it.
    uint32_t shown_units = 0;

    MATERIAL() = default;
    MATERIAL(const MATERIAL&) = delete;
    MATERIAL& operator=(const MATERIAL&) = delete;
    ~MATERIAL(); // release_material_textures
};

struct MESH {
    MATERIAL* material = nullptr; // owned
    VECTOR4 reference_a{0, 0, 0, 1};
    VECTOR4 reference_b{0, 0, 0, 1};
    VECTOR4 world_a{0, 0, 0, 1};
    VECTOR4 world_b{0, 0, 0, 1};
    INDEXBUFFER indices;
    MESH* next = nullptr;
};

struct MODEL {
    bool skinned = false; // vertices carry joints; skinned layout and programs
    VECTOR4 reference_a{0, 0, 0, 1};
    VECTOR4 reference_b{0, 0, 0, 1};
    VECTOR4 world_a{0, 0, 0, 1};
    VECTOR4 world_b{0, 0, 0, 1};
    MESH* meshes = nullptr; // owned list
    int32_t mesh_count = 0;
    VERTEXBUFFER vertices;        // drawn from
    VERTEXBUFFER source_vertices; // bind-pose copy for CPU skinning; never uploaded
    // Bounding sphere of the vertices in model space (centre x, y, z and
    // radius) as of their upload numbered bound_uploads; radius < 0 when
    // there is none to cull by (no vertices, or a w other than 1).
    float bound[4] = {0, 0, 0, -1};
    uint32_t bound_uploads = 0;

    MODEL() = default;
    MODEL(const MODEL&) = delete;
    MODEL& operator=(const MODEL&) = delete;
    ~MODEL(); // destroy_model
};

// Appends an empty mesh (no material, no index buffer yet) at the tail.
MESH* add_mesh(MODEL* model);

// Appends texture to the material's array (unit = its position). Returns
// false, leaving the material as it was, when it already has
// MAX_MATERIAL_TEXTURES textures.
bool material_add_texture(MATERIAL* material, TEXTURE* texture);

// Shows texture on the material at unit (0 or 1): replaces the texture
// there (releasing it when the material owned it) or, at the first free
// unit, adds it. The texture stays the caller's (it is marked borrowed), so
// several materials and sprites may show it; release_texture frees it
// (after which the material may still be destroyed, but not drawn).
// False, with one line on stderr, for another unit or a null texture.
bool material_set_texture(MATERIAL* material, TEXTURE* texture, int unit = 0);

// Releases the material's owned textures (their GL textures, IMAGEs and
// TEXTUREs) and frees the array; borrowed textures are left alone.
void release_material_textures(MATERIAL* material);

// Makes the material's program current and applies its blend, cull and
// depth modes (overrides first) through the render-state cache, binds its
// textures (uploading dirty pictures; a texture without a GL texture is
// skipped) and sends its uniform values. alpha is the draw's alpha.
void apply_material(MATERIAL* material, float alpha);

// Sends emission, specular, transparency (material alpha x alpha) and the
// texture offsets to current_program.
void upload_material_values(MATERIAL* material, float alpha);

// Sends colour (red, green, blue, alpha) to program as its
// "colour_complement" (1 - colour) when that differs from what the program
// holds. A non-finite channel counts as 1, a negative one as 0.
void send_colour(SHADER_PROGRAM* program, const float colour[4]);

// Draws one mesh of model: material, matrices, buffers through the caches,
// vertex layout, then depth test and culling from the material's own modes
// and alpha blending regardless of its blend mode, and one glDrawElements.
// A mesh without buffers draws nothing.
void draw_mesh(MESH* mesh, MODEL* model, SKIN* skin, bool cpu_skinned, float alpha);

// draw_mesh for a static (not skinned) mesh whose vertices several still
// actors share, already placed in world space in vertices with indices
// into them: the model stack's top is expected to be the identity.
// mirrored: the placing matrices had a negative determinant.
void draw_mesh_merged(MESH* mesh, MODEL* model, const VERTEXBUFFER& vertices,
                      const INDEXBUFFER& indices, bool mirrored, float alpha);
// True when m's upper 3 x 3 has a negative determinant: it mirrors.
bool matrix_mirrors(const MATRIX4& m);

// bind_vertex_format plus the current program's joint attributes; nothing
// without a current program.
void bind_skinned_vertex_format();
// Turns off the joint attribute arrays a skinned draw enabled; every draw
// that binds the plain vertex format calls it first.
void disable_joint_attribute_arrays();
void joint_attribute_arrays_reset();

// World reference points = matrix x model-space points, for the model and
// each of its meshes.
void update_reference_points(const MATRIX4& matrix, MODEL* model);

// Deletes every mesh with its material, textures and index buffer, then the
// model's vertex buffers. The model is left empty and may be reused.
void destroy_model(MODEL* model);

// The model's bounding sphere (see MODEL::bound), recomputed from the CPU
// copy when the vertices were uploaded since it was last made.
const float* model_bound(MODEL* model);
