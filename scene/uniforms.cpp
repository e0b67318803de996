// Per-draw uniform upload and program switches (see uniforms.h). Owns no
// globals; writes only through the locations cached in SHADER_PROGRAM,
// skipping every -1. Reads current_camera, the model stack and the lighting
// scene.
#include "scene/uniforms.h"

#include "gfx/frame_stats.h"
#include "gfx/report.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/lighting.h"
#include "scene/skin.h"
#include "shader/limits.h"
#include "shader/program.h"

#include <cmath>
#include <cstdio>

ONCE_FLAG light_slot_outside;

namespace {

void send_matrix(int32_t location, const MATRIX4& m) {
    if (location != -1) {
        glUniformMatrix4fv(location, 1, GL_FALSE, m.m);
        gl_check();
    }
}

void send_3f(int32_t location, float x, float y, float z) {
    if (location != -1) {
        glUniform3f(location, x, y, z);
        gl_check();
    }
}

void send_1f(int32_t location, float v) {
    if (location != -1) {
        glUniform1f(location, v);
        gl_check();
    }
}

void send_1i(int32_t location, int v) {
    if (location != -1) {
        glUniform1i(location, v);
        gl_check();
    }
}

// Unit vector from the target towards the light. A light sitting on its
// target has no direction; it gets the zero vector, which lights nothing,
// instead of the NaNs a division by zero would spread through the shading.
VECTOR3 light_direction(const LIGHT& light) {
    float dx = light.local.m[12] - light.target.x;
    float dy = light.local.m[13] - light.target.y;
    float dz = light.local.m[14] - light.target.z;
    float length = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(length > 0.0f) || !std::isfinite(length)) {
        return VECTOR3{0, 0, 0};
    }
    return VECTOR3{dx / length, dy / length, dz / length};
}

void send_light(const LIGHT& light, const LIGHT_LOCATIONS& l) {
    send_1i(l.type, light.type);
    send_3f(l.diffuse, light.colour[0] * light.intensity, light.colour[1] * light.intensity,
            light.colour[2] * light.intensity);
    if (light.type == LIGHT_TYPE_POINT || light.type == LIGHT_TYPE_SPOT) {
        send_3f(l.position, light.local.m[12], light.local.m[13], light.local.m[14]);
        send_1f(l.attenuation_start, light.attenuation_start);
        send_1f(l.attenuation_end, light.attenuation_end);
    }
    if (light.type == LIGHT_TYPE_SPOT || light.type == LIGHT_TYPE_DIRECTIONAL) {
        if (l.direction != -1) {
            VECTOR3 d = light_direction(light);
            send_3f(l.direction, d.x, d.y, d.z);
        }
    }
    if (light.type == LIGHT_TYPE_SPOT) {
        send_1f(l.hotspot_beam, light.hotspot_beam * 0.5f);
        send_1f(l.falloff, light.falloff * 0.5f);
    }
}

// False when the joint was reached before in this walk (a cycle) or lies
// deeper than any hierarchy that can be posed: nothing bounds the data.
bool send_joint(SHADER_PROGRAM* program, const JOINT* joint, int32_t level, uint64_t walk) {
    if (level > int32_t(MODEL_STACK_CAPACITY) || joint_reached_again(joint, walk)) {
        return false;
    }
    // Unsigned, so a negative index is out of range too.
    if (uint32_t(joint->index) < uint32_t(MAX_JOINTS)) {
        char name[100];
        std::snprintf(name, sizeof name, "transformation_matrix[%lu]",
                      static_cast<unsigned long>(joint->index));
        send_matrix(program->lookup_uniform(name), joint->current_transform);
        std::snprintf(name, sizeof name, "inverse_bind_matrix[%lu]",
                      static_cast<unsigned long>(joint->index));
        send_matrix(program->lookup_uniform(name), joint->inverse_bind_matrix);
    }
    for (const JOINT* child = joint->first_child; child; child = child->next_sibling) {
        if (!send_joint(program, child, level + 1, walk)) {
            return false;
        }
    }
    return true;
}

} // namespace

void upload_matrices(SHADER_PROGRAM* program) {
    if (!program) {
        return;
    }
    MATRIX4 identity;
    matrix_identity(identity);
    bool have_camera = camera_valid(current_camera);
    const MATRIX4& p = have_camera ? *current_camera->projection_stack->top : identity;
    const MATRIX4& v = have_camera ? *current_camera->view_stack->top : identity;
    const MATRIX4& w = model_stack && model_stack->top ? *model_stack->top : identity;

    MATRIX4 mvp;
    matrix_multiply(mvp, p, v);
    matrix_multiply(mvp, mvp, w);
    send_matrix(program->matrix_locations.model_view_projection, mvp);

    // Once per switch: between switches the camera is taken as unchanged.
    if (program->camera_dirty) {
        program->camera_dirty = false;
        if (program->camera_position_location != -1) {
            VECTOR3 eye = have_camera ? current_camera->position : VECTOR3{0, 0, 0};
            const float position[3] = {eye.x, eye.y, eye.z};
            glUniform3fv(program->camera_position_location, 1, position);
            gl_check();
        }
        send_matrix(program->matrix_locations.projection, p);
    }

    send_matrix(program->matrix_locations.world, w);

    if (program->matrix_locations.normal != -1) {
        // A singular W leaves the copy as it was, so its transpose is sent.
        MATRIX4 normal = w;
        matrix_invert(normal, normal);
        matrix_transpose(normal);
        send_matrix(program->matrix_locations.normal, normal);
    }
}

void upload_lights(SHADER_PROGRAM* program) {
    if (!program) {
        return;
    }
    // The drawn scene's ambient colour goes out whether or not it has lights:
    // left at the GLSL default of zero, an unlit scene's models are black.
    const SCENE_LIGHTING* ambient = ambient_scene ? ambient_scene : lighting_scene;
    if (ambient && current_program && current_program->ambient_location != -1) {
        glUniform3f(current_program->ambient_location, ambient->ambient[0], ambient->ambient[1],
                    ambient->ambient[2]);
        gl_check();
    }
    const SCENE_LIGHTING* scene = lighting_scene;
    if (!scene) {
        return;
    }
    bool filled[MAX_LIGHTS] = {};
    for (const LIGHT* light = scene->lights; light;
         light = static_cast<const LIGHT*>(light->next)) {
        // Unsigned, so a negative slot cannot index outside the array either.
        if (uint32_t(light->slot) >= uint32_t(MAX_LIGHTS)) {
            report_once(light_slot_outside,
                        "vexa: a light in slot %d is not sent (a scene has slots 0 to %d)\n",
                        light->slot, MAX_LIGHTS - 1);
            continue;
        }
        if (filled[light->slot]) {
            static ONCE_FLAG shared_slot;
            report_once(shared_slot,
                        "vexa: two lights share slot %d; the later one replaces the earlier\n",
                        light->slot);
        }
        send_light(*light, program->light_locations[light->slot]);
        filled[light->slot] = true;
    }
    for (int slot = 0; slot < MAX_LIGHTS; ++slot) {
        if (!filled[slot]) {
            send_1i(program->light_locations[slot].type, LIGHT_TYPE_NONE);
        }
    }
}

bool upload_joint_matrices(SKIN* skin) {
    SHADER_PROGRAM* program = program_skinned_model;
    if (!skin || !program) {
        return true;
    }
    send_matrix(program->lookup_uniform("bind_shape_matrix"), skin->bind_shape_matrix);
    bool whole = skin_root_list_ends(skin);
    const uint64_t walk = joint_walk_begin();
    for (const SKIN_ROOT* root = skin->roots; whole && root; root = root->next) {
        for (const JOINT* joint = root->joint; whole && joint; joint = joint->next_sibling) {
            whole = send_joint(program, joint, 1, walk);
        }
    }
    if (!whole) {
        static bool warned = false;
        if (!warned) {
            warned = true;
            std::fprintf(stderr, "vexa: a joint hierarchy has a cycle or is too deep to pose; "
                                 "meshes skinned by it are not drawn\n");
        }
    }
    return whole;
}

void use_program(SHADER_PROGRAM* program) {
    if (!program || program == current_program) {
        return;
    }
    current_program = program;
    program->lookup_hint = -1;
    program->camera_dirty = true;
    // glUseProgram of an unlinked program is an error that leaves the
    // previous program in use, so the draw would run with whatever program
    // came before; no program at all is the defined choice, and with every
    // location at -1 nothing is uploaded to it.
    glUseProgram(program->build_failed ? 0 : program->program);
    gl_check();
    ++frame_stats.program_switches;
    upload_lights(program);
}
