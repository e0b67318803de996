// The engine's fixed set of GLSL programs: owns the program slots, the
// current-program mirror (current_program) and each program's cached uniform
// and attribute locations. Relies on shader/source.h for the stage texts and
// on a current GL 2.1 context.
#pragma once

#include "gfx/gl.h"
#include "shader/limits.h"
#include "shader/source.h"

#include <cstdint>
#include <string>

// Room for names formed at draw time; the engine needs at most 81 per program.
constexpr int UNIFORM_LOOKUP_CAPACITY = 150;

struct UNIFORM_LOOKUP_ENTRY {
    int32_t location = -1;
    char* name = nullptr; // owned, capacity bytes
    int32_t capacity = 0;
};

// Locations of one element of "g_Lights[]", in the record's field order.
struct LIGHT_LOCATIONS {
    int32_t diffuse = -1;
    int32_t attenuation_start = -1;
    int32_t position = -1;
    int32_t attenuation_end = -1;
    int32_t direction = -1;
    int32_t hotspot_beam = -1;
    int32_t falloff = -1;
    int32_t type = -1;
};

// Locations of the "g_DatosMaterial." members.
struct MATERIAL_LOCATIONS {
    int32_t specular = -1;
    int32_t emission = -1;
    int32_t transparency = -1;
    int32_t num_textures = -1; // "numTextures"
    int32_t offset_animacion0 = -1;
    int32_t offset_animacion1 = -1;
};

struct MATRIX_LOCATIONS {
    int32_t normal = -1;                // "NormalMatrix"
    int32_t model_view_projection = -1; // "ModelViewProjectionMatrix"
    int32_t world = -1;                 // "WorldMatrix"
    int32_t projection = -1;            // "ProjectionMatrix"
};

// One GL program with its two stages and every location the draw code sends
// to; -1 everywhere means "not sent". Built once, never copied.
struct SHADER_PROGRAM {
    GLuint program = 0;
    SHADER_STAGE* stages = nullptr; // vertex stage first, fragment stage second
    int32_t stage_count = 0;
    int32_t joint_indices_location = -1;
    int32_t joint_weights_location = -1;
    UNIFORM_LOOKUP_ENTRY lookup_entries[UNIFORM_LOOKUP_CAPACITY];
    int32_t lookup_count = 0;
    int32_t lookup_hint = -1;
    LIGHT_LOCATIONS light_locations[MAX_LIGHTS];
    MATERIAL_LOCATIONS material_locations;
    MATRIX_LOCATIONS matrix_locations;
    int32_t camera_position_location = -1; // "posicion_camara_world"
    int32_t ambient_location = -1;         // "g_LightModel.ambient"
    bool camera_dirty = true;              // camera position and projection must be resent
    // "texture_rows_bottom_up": looked up when a texture whose rows run
    // bottom-up is first shown (programs that never show one make no query),
    // -2 until then; and what was last sent, bit i for texture unit i (GLSL
    // starts it at 0: no unit mirrored).
    int32_t bottom_up_location = -2;
    uint32_t bottom_up_sent = 0;
    // "colour_complement": the colour (a material's own, a sprite's tint)
    // sent as 1 - colour, so GLSL's starting 0 means white and a program
    // only ever shown white makes no call. Looked up at the first other
    // colour (-2 until then); what the program holds now.
    int32_t colour_location = -2;
    float colour_sent[4] = {0, 0, 0, 0};
    // The material values the program holds (emission, specular,
    // transparency, both texture offsets) and its texture count, as last
    // sent by the model draw; known false (a new link, a program that
    // was sent other values directly): nothing known, all are sent.
    float material_sent[11] = {};
    int32_t textures_sent = 0;
    bool material_known = false;
    bool textures_known = false;
    // Set by build_program when a stage is missing or a compile or link
    // failed: GL refuses to use such a program, so use_program selects none.
    bool build_failed = false;

    SHADER_PROGRAM() = default;
    SHADER_PROGRAM(const SHADER_PROGRAM&) = delete;
    SHADER_PROGRAM& operator=(const SHADER_PROGRAM&) = delete;
    ~SHADER_PROGRAM();

    // Location of a uniform whose name is formed at draw time, through the
    // name cache: each distinct name costs one GL query, repeated names in a
    // repeated order match on the first comparison.
    GLint lookup_uniform(const char* name);
};

extern SHADER_PROGRAM* program_sprite3d;
extern SHADER_PROGRAM* program_sprites2d;
extern SHADER_PROGRAM* program_primitives2d;
extern SHADER_PROGRAM* program_primitives3d;
extern SHADER_PROGRAM* program_skinned_model; // never filled at start-up
extern SHADER_PROGRAM* program_model;         // never filled at start-up
// 2D shapes (scene/shapes.h): built at the first shape drawn, never at start-up.
extern SHADER_PROGRAM* program_shapes2d;
constexpr const char* SHAPES_VS_FILE = "2d_shapes_vs.glsl";
constexpr const char* SHAPES_FS_FILE = "2d_shapes_fs.glsl";

// The program last made current through use_program; null at the start of
// every frame and after create_program_set.
extern SHADER_PROGRAM* current_program;

// Directory the GLSL files are read from; "shaders" by default, relative to
// the working directory. Not copied: the string must outlive the programs'
// builds.
extern const char* shader_directory;
// A file of the shader directory: shader_directory + "/" + name.
std::string shader_file_path(const char* name);

// Builds the four programs of the fixed set from the files under the shader
// directory. Called once at start-up with the GL context current.
void create_program_set();

// Builds program from a vertex and a fragment file: stages, compile, link,
// locations, sampler units. A missing file or a failed compile or link prints
// one line on stderr and leaves every location at -1. Returns program.
SHADER_PROGRAM* build_program(SHADER_PROGRAM* program, const char* vertex_path,
                              const char* fragment_path);

// Exchanges everything two program records hold (GL program, stages,
// locations, lookup cache, sent-value marks): a rebuilt program takes the
// place of the one in use at the same address, which the slots and the draw
// code keep.
void swap_program_contents(SHADER_PROGRAM& a, SHADER_PROGRAM& b);
// Deletes the record's GL program and shader objects (a program replaced by
// its rebuild, or a rebuild that failed) and zeroes their names.
void delete_program_gl_objects(SHADER_PROGRAM& program);

// Frees the programs, empties the slots and current_program and the file
// cache. GL objects are left alone; tests call this in SetUp.
void reset_shader_programs();
