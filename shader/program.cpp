// The fixed program set: owns the six program slots, current_program, the
// shader directory and the GL program and shader objects of the four built
// programs. Relies on shader/source.h to assemble each stage.
#include "shader/program.h"

#include "gfx/frame_stats.h"
#include "gfx/gl_dialect.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

SHADER_PROGRAM* program_sprite3d = nullptr;
SHADER_PROGRAM* program_sprites2d = nullptr;
SHADER_PROGRAM* program_primitives2d = nullptr;
SHADER_PROGRAM* program_primitives3d = nullptr;
SHADER_PROGRAM* program_skinned_model = nullptr;
SHADER_PROGRAM* program_model = nullptr;
SHADER_PROGRAM* program_shapes2d = nullptr;
SHADER_PROGRAM* current_program = nullptr;
const char* shader_directory = "shaders";

namespace {

struct PROGRAM_FILES {
    SHADER_PROGRAM** slot;
    const char* vertex_file; // names inside the shader directory
    const char* fragment_file;
};

// The build order is fixed: GL is left with the last one in use.
const PROGRAM_FILES PROGRAM_SET[] = {
    {&program_sprite3d, "sprite3d_vs.glsl", "sprite3d_fs.glsl"},
    {&program_sprites2d, "2d_sprites_vs.glsl", "2d_sprites_fs.glsl"},
    {&program_primitives2d, "2d_passthrough_vs.glsl", "2d_primitives_fs.glsl"},
    {&program_primitives3d, "3d_primitives_vs.glsl", "3d_primitives_fs.glsl"},
};

// "g_Lights[i]." members in the order they are queried.
const char* const LIGHT_MEMBER_NAMES[] = {
    "type",         "diffuse", "position", "direction", "attenuation_start", "attenuation_end",
    "hotspot_beam", "falloff",
};

int32_t* light_member_location(LIGHT_LOCATIONS& light, int member) {
    int32_t* fields[] = {&light.type,
                         &light.diffuse,
                         &light.position,
                         &light.direction,
                         &light.attenuation_start,
                         &light.attenuation_end,
                         &light.hotspot_beam,
                         &light.falloff};
    return fields[member];
}

void free_program_contents(SHADER_PROGRAM* program) {
    for (UNIFORM_LOOKUP_ENTRY& entry : program->lookup_entries) {
        std::free(entry.name);
        entry = UNIFORM_LOOKUP_ENTRY{};
    }
    SHADER_STAGE* stage = program->stages;
    while (stage) {
        SHADER_STAGE* next = stage->next;
        delete stage;
        stage = next;
    }
    program->stages = nullptr;
}

// Every location -1, no stages, camera values due: the state before linking.
void clear_program(SHADER_PROGRAM* program) {
    free_program_contents(program);
    program->program = 0;
    program->stage_count = 0;
    program->joint_indices_location = -1;
    program->joint_weights_location = -1;
    program->lookup_count = 0;
    program->lookup_hint = -1;
    for (LIGHT_LOCATIONS& light : program->light_locations) {
        light = LIGHT_LOCATIONS{};
    }
    program->material_locations = MATERIAL_LOCATIONS{};
    program->matrix_locations = MATRIX_LOCATIONS{};
    program->camera_position_location = -1;
    program->ambient_location = -1;
    program->camera_dirty = true;
    program->build_failed = false;
    program->material_known = false;
    program->textures_known = false;
}

SHADER_STAGE* append_stage(SHADER_PROGRAM* program, GLenum type) {
    auto* stage = new SHADER_STAGE{};
    stage->type = type;
    SHADER_STAGE** link = &program->stages;
    while (*link) {
        link = &(*link)->next;
    }
    *link = stage;
    ++program->stage_count;
    return stage;
}

const char* stage_path(const SHADER_STAGE* stage) {
    return stage->file ? stage->file->path : "(not loaded)";
}

// Driver logs span several lines; the report must stay one line.
std::string fold_info_log(std::string log) {
    for (char& c : log) {
        if (c == '\n' || c == '\r' || c == '\t') {
            c = ' ';
        }
    }
    while (!log.empty() && (log.back() == ' ' || log.back() == '\0')) {
        log.pop_back();
    }
    return log;
}

std::string shader_info_log(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    gl_check();
    if (length <= 1) {
        return "(no driver log)";
    }
    std::string log(size_t(length), '\0');
    GLsizei written = 0;
    glGetShaderInfoLog(shader, length, &written, log.data());
    gl_check();
    log.resize(written > 0 && written < length ? size_t(written) : std::strlen(log.c_str()));
    return fold_info_log(log);
}

std::string program_info_log(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    gl_check();
    if (length <= 1) {
        return "(no driver log)";
    }
    std::string log(size_t(length), '\0');
    GLsizei written = 0;
    glGetProgramInfoLog(program, length, &written, log.data());
    gl_check();
    log.resize(written > 0 && written < length ? size_t(written) : std::strlen(log.c_str()));
    return fold_info_log(log);
}

// Compiles every stage in order, stopping at the first failure (whose shader
// object is deleted). A stage without a shader object was already reported
// by load_stage_source and fails without touching GL.
bool compile_stages(SHADER_PROGRAM* program) {
    for (SHADER_STAGE* stage = program->stages; stage; stage = stage->next) {
        if (stage->shader == 0) {
            return false;
        }
        glCompileShader(stage->shader);
        gl_check();
        GLint status = GL_FALSE;
        glGetShaderiv(stage->shader, GL_COMPILE_STATUS, &status);
        gl_check();
        if (status == GL_FALSE) {
            std::string log = shader_info_log(stage->shader);
            std::fprintf(stderr, "vexa: shader compile failed: %s: %s\n", stage_path(stage),
                         log.c_str());
            glDeleteShader(stage->shader);
            gl_check();
            stage->shader_deleted = true; // a later clean-up must not delete it again
            return false;
        }
    }
    return true;
}

// ES: the attributes the source loader put in place of gl_Vertex and the
// other built-ins take the locations bind_vertex_format feeds. (OpenGL 2.1
// feeds the built-ins themselves from the client arrays.)
void bind_vertex_attribute_locations(GLuint program) {
    if (!gl_dialect_es()) {
        return;
    }
    for (GLuint a = 0; a < VERTEX_ATTRIBUTE_COUNT; ++a) {
        glBindAttribLocation(program, a, VERTEX_ATTRIBUTE_NAMES[a]);
        gl_check();
    }
}

bool link_program(SHADER_PROGRAM* program) {
    for (SHADER_STAGE* stage = program->stages; stage; stage = stage->next) {
        glAttachShader(program->program, stage->shader);
        gl_check();
    }
    bind_vertex_attribute_locations(program->program);
    glLinkProgram(program->program);
    gl_check();
    GLint status = GL_FALSE;
    glGetProgramiv(program->program, GL_LINK_STATUS, &status);
    gl_check();
    if (status == GL_FALSE) {
        std::string files;
        for (SHADER_STAGE* stage = program->stages; stage; stage = stage->next) {
            files += files.empty() ? "" : " + ";
            files += stage_path(stage);
        }
        std::string log = program_info_log(program->program);
        std::fprintf(stderr, "vexa: shader link failed: %s: %s\n", files.c_str(), log.c_str());
        return false;
    }
    return true;
}

void locate_uniforms(SHADER_PROGRAM* program) {
    const GLuint p = program->program;
    program->joint_indices_location = glGetAttribLocation(p, "joint_indices");
    program->joint_weights_location = glGetAttribLocation(p, "joint_weights");

    char name[64];
    for (int i = 0; i < MAX_LIGHTS; ++i) {
        for (int member = 0; member < 8; ++member) {
            std::snprintf(name, sizeof name, "g_Lights[%d].%s", i, LIGHT_MEMBER_NAMES[member]);
            *light_member_location(program->light_locations[i], member) =
                glGetUniformLocation(p, name);
        }
    }

    MATERIAL_LOCATIONS& material = program->material_locations;
    material.emission = glGetUniformLocation(p, "g_DatosMaterial.emission");
    material.specular = glGetUniformLocation(p, "g_DatosMaterial.specular");
    material.transparency = glGetUniformLocation(p, "g_DatosMaterial.transparency");
    material.num_textures = glGetUniformLocation(p, "g_DatosMaterial.numTextures");
    material.offset_animacion0 = glGetUniformLocation(p, "g_DatosMaterial.offset_animacion0");
    material.offset_animacion1 = glGetUniformLocation(p, "g_DatosMaterial.offset_animacion1");

    MATRIX_LOCATIONS& matrices = program->matrix_locations;
    matrices.model_view_projection = glGetUniformLocation(p, "ModelViewProjectionMatrix");
    matrices.projection = glGetUniformLocation(p, "ProjectionMatrix");
    matrices.world = glGetUniformLocation(p, "WorldMatrix");
    matrices.normal = glGetUniformLocation(p, "NormalMatrix");
    // A new link starts every uniform at 0 again.
    program->bottom_up_location = -2;
    program->bottom_up_sent = 0;
    program->colour_location = -2;
    std::fill(std::begin(program->colour_sent), std::end(program->colour_sent), 0.0f);
    program->material_known = false;
    program->textures_known = false;
    program->camera_position_location = glGetUniformLocation(p, "posicion_camara_world");
    program->ambient_location = glGetUniformLocation(p, "g_LightModel.ambient");
}

// Sampler i reads texture unit i.
void assign_sampler_units(const SHADER_PROGRAM* program) {
    char name[32];
    for (int i = 0; i < MAX_MATERIAL_TEXTURES; ++i) {
        std::snprintf(name, sizeof name, "shader_texture_ids[%d]", i);
        GLint location = glGetUniformLocation(program->program, name);
        if (location != -1) {
            glUniform1i(location, i);
            gl_check();
        }
    }
}

} // namespace

void swap_program_contents(SHADER_PROGRAM& a, SHADER_PROGRAM& b) {
    // Every field clear_program resets, so the two records change places
    // whole: stages and lookup names move with the GL program they belong to.
    std::swap(a.program, b.program);
    std::swap(a.stages, b.stages);
    std::swap(a.stage_count, b.stage_count);
    std::swap(a.joint_indices_location, b.joint_indices_location);
    std::swap(a.joint_weights_location, b.joint_weights_location);
    std::swap(a.lookup_entries, b.lookup_entries);
    std::swap(a.lookup_count, b.lookup_count);
    std::swap(a.lookup_hint, b.lookup_hint);
    std::swap(a.light_locations, b.light_locations);
    std::swap(a.material_locations, b.material_locations);
    std::swap(a.matrix_locations, b.matrix_locations);
    std::swap(a.camera_position_location, b.camera_position_location);
    std::swap(a.ambient_location, b.ambient_location);
    std::swap(a.camera_dirty, b.camera_dirty);
    std::swap(a.bottom_up_location, b.bottom_up_location);
    std::swap(a.bottom_up_sent, b.bottom_up_sent);
    std::swap(a.colour_location, b.colour_location);
    std::swap(a.colour_sent, b.colour_sent);
    std::swap(a.material_sent, b.material_sent);
    std::swap(a.textures_sent, b.textures_sent);
    std::swap(a.material_known, b.material_known);
    std::swap(a.textures_known, b.textures_known);
    std::swap(a.build_failed, b.build_failed);
}

void delete_program_gl_objects(SHADER_PROGRAM& program) {
    if (!gl_context_alive) {
        return;
    }
    for (SHADER_STAGE* stage = program.stages; stage; stage = stage->next) {
        if (stage->shader != 0 && !stage->shader_deleted) {
            glDeleteShader(stage->shader);
            gl_check();
        }
        stage->shader = 0;
        stage->shader_deleted = false;
    }
    if (program.program != 0) {
        glDeleteProgram(program.program);
        gl_check();
        program.program = 0;
    }
}

SHADER_PROGRAM::~SHADER_PROGRAM() {
    free_program_contents(this);
}

GLint SHADER_PROGRAM::lookup_uniform(const char* name) {
    if (!name) {
        return -1;
    }
    const int32_t n = lookup_count;
    // Start after the last hit: names asked for in a repeating order match
    // on the first comparison.
    int32_t index = lookup_hint;
    for (int32_t i = 0; i < n; ++i) {
        index = index + 1 >= n ? 0 : index + 1;
        const char* cached = lookup_entries[index].name;
        if (cached && std::strcmp(cached, name) == 0) {
            lookup_hint = index;
            return lookup_entries[index].location;
        }
    }

    GLint location = glGetUniformLocation(program, name);
    if (n >= UNIFORM_LOOKUP_CAPACITY) {
        return location; // cache full: answered, not remembered
    }
    UNIFORM_LOOKUP_ENTRY& entry = lookup_entries[n];
    size_t needed = std::strlen(name) + 1;
    if (needed > size_t(INT32_MAX)) {
        return location;
    }
    if (size_t(entry.capacity) < needed) {
        std::free(entry.name);
        entry.name = static_cast<char*>(std::malloc(needed));
        entry.capacity = entry.name ? int32_t(needed) : 0;
        if (!entry.name) {
            return location;
        }
    }
    std::memcpy(entry.name, name, needed);
    entry.location = location;
    lookup_count = n + 1;
    return location;
}

SHADER_PROGRAM* build_program(SHADER_PROGRAM* program, const char* vertex_path,
                              const char* fragment_path) {
    if (!program) {
        return nullptr;
    }
    clear_program(program);
    program->program = glCreateProgram();
    gl_check();

    SHADER_STAGE* vertex = append_stage(program, GL_VERTEX_SHADER);
    SHADER_STAGE* fragment = append_stage(program, GL_FRAGMENT_SHADER);
    load_stage_source(vertex_path, vertex);
    load_stage_source(fragment_path, fragment);

    // An unbuilt program keeps every location at -1, so nothing is ever sent
    // to it; using it would only raise GL_INVALID_OPERATION.
    if (!compile_stages(program) || !link_program(program)) {
        program->build_failed = true;
        return program;
    }
    locate_uniforms(program);

    glUseProgram(program->program);
    gl_check();
    assign_sampler_units(program);
    return program;
}

std::string shader_file_path(const char* name) {
    std::string path = shader_directory ? shader_directory : "";
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path + name;
}

void create_program_set() {
    program_skinned_model = nullptr;
    program_model = nullptr;
    program_shapes2d = nullptr;
    for (const PROGRAM_FILES& files : PROGRAM_SET) {
        *files.slot = build_program(new SHADER_PROGRAM, shader_file_path(files.vertex_file).c_str(),
                                    shader_file_path(files.fragment_file).c_str());
    }
    // GL still has the last program in use, but the first use_program of
    // any program must reach GL.
    current_program = nullptr;
}

void reset_shader_programs() {
    for (const PROGRAM_FILES& files : PROGRAM_SET) {
        delete *files.slot;
        *files.slot = nullptr;
    }
    program_skinned_model = nullptr;
    program_model = nullptr;
    delete program_shapes2d;
    program_shapes2d = nullptr;
    current_program = nullptr;
    reset_file_cache();
}
