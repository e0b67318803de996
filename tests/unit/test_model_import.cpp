// Model import against the recording GL stand-in: every model of the
// installed Assimp test corpus either loads or is refused with one stderr
// line naming it; the engine's own checks refuse broken geometry; a missing
// picture is drawn white with one warning; skins and clips obey the limits.
#include "assets/model_import.h"
#include "assets/picture.h"

#include "scene/actor.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/skin.h"
#include "shader/limits.h"
#include "tests/support/engine_reset.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

const char* const CORPUS = "/usr/share/assimp/models";

class MODEL_IMPORT : public ::testing::Test {
  protected:
    void SetUp() override { reset_engine_for_scene_tests(); }
    void TearDown() override { gl_context_alive = false; }
};

int count_lines(const std::string& s) {
    return int(std::count(s.begin(), s.end(), '\n'));
}

// Files of the model formats (pictures, buffers and notes beside them are not models).
bool is_model_file(const fs::path& p) {
    static const char* const EXTENSIONS[] = {".gltf", ".glb", ".obj",     ".dae", ".zae", ".xml",
                                             ".x",    ".iqm", ".md5mesh", ".smd", ".ms3d"};
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    for (const char* e : EXTENSIONS) {
        if (ext == e) {
            return true;
        }
    }
    // X files without an extension are part of the X folder's tests.
    return ext.empty() && p.parent_path().filename() == "X";
}

// Every structural rule the importer promises for a loaded model.
void expect_sound(const IMPORTED_MODEL& m, const std::string& file) {
    ASSERT_NE(m.root, nullptr) << file;
    EXPECT_EQ(m.actors.front(), m.root) << file;
    int64_t vertices = 0, triangles = 0;
    int32_t meshes = 0;
    for (const MODEL* model : m.models) {
        EXPECT_GE(model->vertices.count, 1) << file;
        EXPECT_LE(model->vertices.count, 65536) << file;
        vertices += model->vertices.count;
        for (const MESH* mesh = model->meshes; mesh; mesh = mesh->next) {
            ++meshes;
            triangles += mesh->indices.count / 3;
            ASSERT_NE(mesh->material, nullptr) << file;
            EXPECT_EQ(mesh->material->texture_count, 1) << file;
            for (int32_t i = 0; i < mesh->indices.count; ++i) {
                ASSERT_LT(int32_t(mesh->indices.data[i]), model->vertices.count) << file;
            }
        }
        for (int32_t v = 0; v < model->vertices.count; ++v) {
            const VERTEX& x = model->vertices.data[v];
            ASSERT_TRUE(std::isfinite(x.position[0]) && std::isfinite(x.position[1]) &&
                        std::isfinite(x.position[2]))
                << file;
            float sum = 0;
            for (int k = 0; k < MAX_JOINT_INFLUENCES; ++k) {
                sum += x.joint_weights[k];
            }
            if (model->skinned) {
                EXPECT_NEAR(sum, 1.0f, 1e-4f) << file;
            }
        }
    }
    EXPECT_EQ(vertices, m.vertex_count) << file;
    EXPECT_EQ(triangles, m.triangle_count) << file;
    EXPECT_EQ(meshes, m.mesh_count) << file;
    for (const SKIN* skin : m.skins) {
        EXPECT_LE(skin->joint_count, MAX_JOINTS) << file;
    }
    for (const IMPORTED_CLIP& clip : m.clips) {
        ASSERT_EQ(clip.per_actor.size(), m.skinned_actors.size()) << file;
        for (const ANIMATION* a : clip.per_actor) {
            EXPECT_GE(a->frame_count, 1) << file;
            EXPECT_EQ(a->frame_count, int32_t(std::floor(clip.seconds * 60 + 1e-4)) + 1) << file;
        }
    }
}

} // namespace

TEST_F(MODEL_IMPORT, every_corpus_model_loads_or_is_refused_with_one_line) {
    ASSERT_TRUE(fs::is_directory(CORPUS))
        << CORPUS << " is missing: install assimp-testmodels (scripts/deps.sh)";
    const char* const FOLDERS[] = {"glTF2", "OBJ", "Collada", "X",      "IQM",
                                   "MD5",   "SMD", "MS3D",    "invalid"};
    int loaded_total = 0;
    for (const char* folder : FOLDERS) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(CORPUS) / folder)) {
            bool every_file = std::string(folder) == "invalid";
            if (entry.is_regular_file() && (every_file || is_model_file(entry.path()))) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        ASSERT_FALSE(files.empty()) << folder;
        int loaded = 0, refused = 0;
        for (const fs::path& file : files) {
            IMPORTED_MODEL model;
            testing::internal::CaptureStderr();
            bool ok = import_model(file.c_str(), &model);
            std::string err = testing::internal::GetCapturedStderr();
            if (std::getenv("VEXA_CORPUS_VERBOSE")) {
                std::printf("%s %.1f ms %s", ok ? "OK " : "NO ", model.load_ms,
                            err.empty() ? "\n" : err.c_str());
            }
            if (ok) {
                ++loaded;
                expect_sound(model, file.string());
                // Warnings (missing pictures) name the file too.
                if (!err.empty()) {
                    EXPECT_EQ(err.rfind(file.string() + ": warning: ", 0), 0u) << err;
                }
            } else {
                ++refused;
                EXPECT_EQ(count_lines(err), 1) << file << ": " << err;
                EXPECT_EQ(err.rfind(file.string() + ": ", 0), 0u) << err;
                EXPECT_EQ(model.root, nullptr) << file;
                EXPECT_TRUE(model.actors.empty() && model.models.empty()) << file;
            }
            release_imported_model(&model);
            EXPECT_EQ(live_texture_objects, 0) << file;
            EXPECT_EQ(model.root, nullptr);
        }
        std::printf("[ corpus   ] %-8s %3d loaded, %3d refused\n", folder, loaded, refused);
        loaded_total += loaded;
    }
    EXPECT_GT(loaded_total, 50);
}
