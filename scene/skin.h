// The skeleton records a skinned model is deformed by: JOINT, SKIN with its
// root-joint list, and ANIMATION_FRAME, the per-frame joint poses an
// ANIMATION steps through. Plain data; owns no globals and no GL state.
// Posing and CPU skinning build on these; the GPU upload is in
// scene/uniforms.h (upload_joint_matrices).
#pragma once

#include "math/matrix.h"

#include <cstdint>

struct JOINT {
    MATRIX4 current_transform; // joint-to-skeleton of the current pose ("transformation_matrix[i]")
    MATRIX4 bind_local_transform; // relative to the parent, when no frame applies
    MATRIX4 inverse_bind_matrix;  // "inverse_bind_matrix[i]"
    float normal_matrix[9];       // 3x3 column-major, applied to normals before the pose
    JOINT* first_child = nullptr;
    int32_t index = 0;             // in the joint array, the frames and the shader arrays
    bool animated = false;         // takes its local transform from the animation frame
    JOINT* next_sibling = nullptr; // next child of the same parent, or next root
};

// One node of a skin's list of root joints.
struct SKIN_ROOT {
    JOINT* joint = nullptr;
    int32_t spare = 0; // carried, read by nothing
    SKIN_ROOT* next = nullptr;
};

struct SKIN {
    MATRIX4 bind_shape_matrix; // applied to every vertex first ("bind_shape_matrix")
    SKIN_ROOT* roots = nullptr;
    JOINT** joints = nullptr; // indexed by joint index
    int32_t joint_count = 0;  // entries of joints (and matrices of each frame)
};

struct ANIMATION_FRAME {
    int32_t spare_a = 0, spare_b = 0; // carried, read by nothing
    MATRIX4* joint_locals = nullptr;  // local transforms of the animated joints, by joint index
};
