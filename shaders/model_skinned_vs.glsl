// Model meshes skinned on the GPU: every vertex is moved by the bind shape
// matrix, then by up to four joints (weight > 0), each undoing its bind pose
// and applying its current transform. Joint index -1 (or any index outside
// the joint arrays) keeps the bind-shape vertex for that influence, and the
// weights are used as given, the same as the CPU skinning path.
#include <common/model_vertex.glsl>

uniform mat4 bind_shape_matrix;
uniform mat4 transformation_matrix[NUMERO_MAXIMO_JOINTS_POR_ARMATURE];
uniform mat4 inverse_bind_matrix[NUMERO_MAXIMO_JOINTS_POR_ARMATURE];

attribute vec4 joint_indices;
attribute vec4 joint_weights;

// The rotation and scale part of m (GLSL ES 1.00 has no mat3(mat4)).
mat3 upper_left(mat4 m) {
    return mat3(m[0].xyz, m[1].xyz, m[2].xyz);
}

void main() {
    vec4 bind_position = bind_shape_matrix * gl_Vertex;
    vec3 bind_normal = upper_left(bind_shape_matrix) * gl_Normal;
    vec4 position = vec4(0.0);
    vec3 normal = vec3(0.0);
    for (int k = 0; k < NUMERO_MAXIMO_INFLUENCIAS_POR_VERTICE; ++k) {
        float weight = joint_weights[k];
        if (!(weight > 0.0)) {
            continue;
        }
        // int() truncates toward zero, as the CPU path does.
        int joint = int(joint_indices[k]);
        if (joint_indices[k] > -1.0 && joint < NUMERO_MAXIMO_JOINTS_POR_ARMATURE) {
            mat4 current = transformation_matrix[joint];
            mat4 unbind = inverse_bind_matrix[joint];
            position += weight * (current * (unbind * bind_position));
            normal += weight * (upper_left(current) * (upper_left(unbind) * bind_normal));
        } else {
            position += weight * bind_position;
            normal += weight * bind_normal;
        }
    }
    emit_model_vertex(position, normal);
}
