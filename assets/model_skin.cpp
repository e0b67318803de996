// Skins and animations of a decoded model: one joint per bone of a skinned
// mesh, linked as the file's node tree links the bones, and every animation
// of the file sampled at 60 frames per second into frames of joint locals.
// Owns no globals; the builder makes the SKIN and ANIMATION records of them.
//
// A joint's current transform must take the mesh's own space to the bone's
// pose in that space: the actor already places the mesh, so a root joint
// starts from the inverse of the mesh node's placement, and each joint's
// local is the product of the node locals between it and its parent joint
// (nodes that are not bones fold into the joint below them).
#include "assets/import_context.h"

#include "shader/limits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int32_t FRAMES_PER_SECOND = 60;
// Longer clips are refused: at 60 frames per second their frames alone
// would take hundreds of megabytes.
constexpr double MAX_CLIP_SECONDS = 600.0;
constexpr uint64_t MAX_ANIMATION_BYTES = uint64_t(512) << 20;

template <class KEY> bool keys_usable(const KEY* keys, unsigned count) {
    return count == 0 || keys != nullptr;
}

template <class KEY> unsigned key_before(const KEY* keys, unsigned count, double t) {
    // The last key whose time is not after t (keys are in time order).
    unsigned lo = 0, hi = count;
    while (hi - lo > 1) {
        unsigned mid = lo + (hi - lo) / 2;
        if (keys[mid].mTime <= t) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

float blend_factor(double t0, double t1, double t) {
    double span = t1 - t0;
    double f = span > 0.0 ? (t - t0) / span : 0.0;
    return float(std::clamp(f, 0.0, 1.0));
}

aiVector3D sample(const aiVectorKey* keys, unsigned count, double t, const aiVector3D& rest) {
    if (count == 0) {
        return rest;
    }
    unsigned i = key_before(keys, count, t);
    if (i + 1 >= count || t <= keys[i].mTime) {
        return keys[i].mValue;
    }
    float f = blend_factor(keys[i].mTime, keys[i + 1].mTime, t);
    return keys[i].mValue + (keys[i + 1].mValue - keys[i].mValue) * f;
}

aiQuaternion sample(const aiQuatKey* keys, unsigned count, double t, const aiQuaternion& rest) {
    if (count == 0) {
        return rest;
    }
    unsigned i = key_before(keys, count, t);
    aiQuaternion q = keys[i].mValue;
    if (i + 1 < count && t > keys[i].mTime) {
        aiQuaternion::Interpolate(q, keys[i].mValue, keys[i + 1].mValue,
                                  blend_factor(keys[i].mTime, keys[i + 1].mTime, t));
    }
    return q.Normalize();
}

// Every key time and value finite; otherwise the whole file is refused.
void check_channel(const aiNodeAnim* c, const char* clip) {
    bool ok = keys_usable(c->mPositionKeys, c->mNumPositionKeys) &&
              keys_usable(c->mRotationKeys, c->mNumRotationKeys) &&
              keys_usable(c->mScalingKeys, c->mNumScalingKeys);
    for (unsigned i = 0; ok && i < c->mNumPositionKeys; ++i) {
        ok = std::isfinite(c->mPositionKeys[i].mTime) && finite(c->mPositionKeys[i].mValue);
    }
    for (unsigned i = 0; ok && i < c->mNumScalingKeys; ++i) {
        ok = std::isfinite(c->mScalingKeys[i].mTime) && finite(c->mScalingKeys[i].mValue);
    }
    for (unsigned i = 0; ok && i < c->mNumRotationKeys; ++i) {
        const aiQuaternion& q = c->mRotationKeys[i].mValue;
        ok = std::isfinite(c->mRotationKeys[i].mTime) && std::isfinite(q.w) && std::isfinite(q.x) &&
             std::isfinite(q.y) && std::isfinite(q.z) &&
             q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z > 1e-12f;
    }
    if (!ok) {
        refuse(std::string("animation '") + clip + "' has a key that is missing or not finite");
    }
}

// The node's local transform at time t (ticks) of channel, or at rest.
aiMatrix4x4 node_local(const aiNode* node, const aiNodeAnim* channel, double t) {
    if (!channel) {
        return node->mTransformation;
    }
    aiVector3D rest_scale, rest_position;
    aiQuaternion rest_rotation;
    node->mTransformation.Decompose(rest_scale, rest_rotation, rest_position);
    return aiMatrix4x4(sample(channel->mScalingKeys, channel->mNumScalingKeys, t, rest_scale),
                       sample(channel->mRotationKeys, channel->mNumRotationKeys, t, rest_rotation),
                       sample(channel->mPositionKeys, channel->mNumPositionKeys, t, rest_position));
}

aiMatrix4x4 joint_local(const SKINNED_PART& part, size_t j, const std::vector<aiMatrix4x4>& local) {
    if (part.joint_node[j] < 0) {
        return part.held[j];
    }
    aiMatrix4x4 m = part.is_root[j] ? part.skeleton_from_scene : aiMatrix4x4();
    for (int32_t node : part.path[j]) {
        m = m * local[size_t(node)];
    }
    return m;
}

} // namespace

int32_t make_skin(IMPORT& im, const aiMesh* mesh, int32_t mesh_node) {
    unsigned count = mesh->mNumBones;
    if (count > unsigned(MAX_JOINTS)) {
        refuse("a mesh has " + std::to_string(count) + " joints, more than the " +
               std::to_string(MAX_JOINTS) + " a skinned model takes");
    }
    if (!mesh->mBones) {
        refuse("a skinned mesh has no bone list");
    }
    SKINNED_PART part;
    part.joint_node.resize(count);
    part.path.resize(count);
    part.is_root.resize(count);
    part.held.resize(count);
    std::vector<int32_t> joint_of_node(im.nodes.size(), -1);
    std::vector<std::string> without_node;
    for (unsigned b = 0; b < count; ++b) {
        const aiBone* bone = mesh->mBones[b];
        if (!bone) {
            refuse("a skinned mesh has an empty bone entry");
        }
        if (!finite(bone->mOffsetMatrix)) {
            refuse(std::string("bone '") + bone->mName.C_Str() + "' has a non-finite bind matrix");
        }
        auto found = im.node_by_name.find(bone->mName.C_Str());
        if (found == im.node_by_name.end()) {
            // Nothing moves it: it stays where its bind matrix puts it, so
            // the vertices it weighs keep their bind pose.
            part.joint_node[b] = -1;
            part.held[b] = aiMatrix4x4(bone->mOffsetMatrix).Inverse();
            if (!finite(part.held[b])) {
                refuse(std::string("bone '") + bone->mName.C_Str() +
                       "' has no node and a bind matrix that cannot be inverted");
            }
            without_node.push_back(bone->mName.C_Str());
            continue;
        }
        if (joint_of_node[size_t(found->second)] != -1) {
            refuse(std::string("bone '") + bone->mName.C_Str() + "' appears twice in one mesh");
        }
        part.joint_node[b] = found->second;
        joint_of_node[size_t(found->second)] = int32_t(b);
    }
    if (!without_node.empty()) {
        im.out->warnings.push_back((without_node.size() == 1
                                        ? "bone '" + without_node[0] + "' has"
                                        : std::to_string(without_node.size()) + " bones ('" +
                                              without_node[0] + "', ...) have") +
                                   " no node; held at the bind pose");
    }
    aiMatrix4x4 mesh_placement = im.global[size_t(mesh_node)];
    part.skeleton_from_scene = mesh_placement.Inverse();
    if (!finite(part.skeleton_from_scene)) {
        refuse("a skinned mesh's node has a placement that cannot be inverted");
    }

    DECODED_SKIN skin;
    skin.joints.resize(count);
    // Parent joint: the nearest ancestor node that is a bone of this mesh.
    // The node tree was checked to be a tree, so these walks end.
    for (unsigned b = 0; b < count; ++b) {
        if (part.joint_node[b] < 0) {
            part.is_root[b] = true;
            continue;
        }
        std::vector<int32_t> path{part.joint_node[b]};
        int32_t parent_joint = -1;
        for (int32_t n = im.parent[size_t(part.joint_node[b])]; n != -1; n = im.parent[size_t(n)]) {
            if (joint_of_node[size_t(n)] != -1) {
                parent_joint = joint_of_node[size_t(n)];
                break;
            }
            path.push_back(n);
        }
        std::reverse(path.begin(), path.end());
        part.path[b] = path;
        part.is_root[b] = parent_joint == -1;
        skin.joints[b].parent = parent_joint;
        im.joint_nodes[size_t(part.joint_node[b])] = true;
    }

    std::vector<aiMatrix4x4> rest(im.nodes.size());
    for (size_t n = 0; n < im.nodes.size(); ++n) {
        rest[n] = im.nodes[n]->mTransformation;
    }
    for (unsigned b = 0; b < count; ++b) {
        DECODED_JOINT& j = skin.joints[b];
        aiMatrix4x4 local = joint_local(part, b, rest);
        if (!finite(local)) {
            refuse("a joint's rest transform is not finite");
        }
        j.bind_local = engine_matrix(local);
        j.current =
            part.joint_node[b] < 0
                ? engine_matrix(part.held[b])
                : engine_matrix(part.skeleton_from_scene * im.global[size_t(part.joint_node[b])]);
        j.inverse_bind = engine_matrix(mesh->mBones[b]->mOffsetMatrix);
        // Normals go through the bind matrix's 3 x 3, as the GPU path does.
        for (int c = 0; c < 3; ++c) {
            for (int r = 0; r < 3; ++r) {
                j.normal[c * 3 + r] = j.inverse_bind.m[c * 4 + r];
            }
        }
    }
    part.skin = int32_t(im.out->skins.size());
    im.out->skins.push_back(std::move(skin));
    im.skinned.push_back(std::move(part));
    return im.skinned.back().skin;
}

void make_clips(IMPORT& im) {
    const aiScene* scene = im.scene;
    if (im.skinned.empty() || scene->mNumAnimations == 0 || !scene->mAnimations) {
        return;
    }
    // Only the nodes on some joint's path are sampled.
    std::vector<int32_t> sampled;
    std::vector<bool> on_path(im.nodes.size(), false);
    for (const SKINNED_PART& part : im.skinned) {
        for (const std::vector<int32_t>& path : part.path) {
            for (int32_t n : path) {
                if (!on_path[size_t(n)]) {
                    on_path[size_t(n)] = true;
                    sampled.push_back(n);
                }
            }
        }
    }
    uint64_t bytes = 0;
    for (unsigned a = 0; a < scene->mNumAnimations; ++a) {
        const aiAnimation* animation = scene->mAnimations[a];
        if (!animation) {
            refuse("an animation entry is empty");
        }
        DECODED_CLIP clip;
        clip.name = animation->mName.length > 0
                        ? std::string(animation->mName.C_Str()).substr(0, 63)
                        : "clip " + std::to_string(a);
        // Assimp's convention: 0 ticks per second means its default of 25.
        double ticks = animation->mTicksPerSecond;
        ticks = std::isfinite(ticks) && ticks > 0.0 ? ticks : 25.0;
        double seconds = animation->mDuration / ticks;
        if (!std::isfinite(seconds) || seconds < 0.0 || seconds > MAX_CLIP_SECONDS) {
            refuse("animation '" + clip.name + "' lasts " + std::to_string(seconds) +
                   " s, outside 0 .. " + std::to_string(int(MAX_CLIP_SECONDS)) + " s");
        }
        clip.seconds = float(seconds);
        int32_t frame_count = int32_t(std::floor(seconds * FRAMES_PER_SECOND + 1e-6)) + 1;

        std::vector<const aiNodeAnim*> channel(im.nodes.size(), nullptr);
        if (animation->mNumChannels > 0 && !animation->mChannels) {
            refuse("animation '" + clip.name + "' has no channel list");
        }
        for (unsigned c = 0; c < animation->mNumChannels; ++c) {
            const aiNodeAnim* ch = animation->mChannels[c];
            if (!ch) {
                refuse("animation '" + clip.name + "' has an empty channel");
            }
            check_channel(ch, clip.name.c_str());
            auto found = im.node_by_name.find(ch->mNodeName.C_Str());
            if (found != im.node_by_name.end()) {
                channel[size_t(found->second)] = ch;
            }
        }

        // Storage first, so the bound holds before anything is sampled.
        for (const SKINNED_PART& part : im.skinned) {
            bytes += uint64_t(frame_count) * part.joint_node.size() * sizeof(MATRIX4);
        }
        if (bytes > MAX_ANIMATION_BYTES) {
            refuse("the animations need more than " + std::to_string(MAX_ANIMATION_BYTES >> 20) +
                   " MB of joint poses");
        }
        clip.frame_count = frame_count;
        for (const SKINNED_PART& part : im.skinned) {
            clip.per_skin.emplace_back(size_t(frame_count) * part.joint_node.size());
        }

        std::vector<aiMatrix4x4> local(im.nodes.size());
        for (int32_t f = 0; f < frame_count; ++f) {
            double t = double(f) / FRAMES_PER_SECOND * ticks;
            for (int32_t n : sampled) {
                local[size_t(n)] = node_local(im.nodes[size_t(n)], channel[size_t(n)], t);
            }
            for (size_t p = 0; p < im.skinned.size(); ++p) {
                const SKINNED_PART& part = im.skinned[p];
                MATRIX4* locals = &clip.per_skin[p][size_t(f) * part.joint_node.size()];
                for (size_t j = 0; j < part.joint_node.size(); ++j) {
                    aiMatrix4x4 m = joint_local(part, j, local);
                    if (!finite(m)) {
                        refuse("animation '" + clip.name + "' gives a joint a non-finite pose");
                    }
                    locals[j] = engine_matrix(m);
                }
            }
        }
        im.out->clips.push_back(std::move(clip));
    }
}
