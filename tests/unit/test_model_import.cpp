// Model import against the recording GL stand-in: every model of the
// installed Assimp test corpus either loads or is refused with one stderr
// line naming it; the engine's own checks refuse broken geometry; a missing
// picture is drawn white with one warning; large meshes are split; skinned
// models play and switch skinning paths; pictures decode as RGBA rows.
#include "assets/decoded_model.h"
#include "assets/decoder_files.h"
#include "assets/input_guards.h"
#include "assets/model_import.h"
#include "assets/picture_decode.h"
#include "assets/picture.h"

#include "gfx/handle_table.h"
#include "scene/actor.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/skeleton.h"
#include "scene/skin.h"
#include "shader/limits.h"
#include "tests/support/engine_reset.h"
#include "tests/support/fake_gl.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const CORPUS = "/usr/share/assimp/models";

class MODEL_IMPORT : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_engine_for_scene_tests();
        import_options.decoder = VEXA_TEST_DECODER; // the build's, however the test is run
    }
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
            // VEXA_CORPUS_VERBOSE=1 lists every file with its load time and messages.
            if (std::getenv("VEXA_CORPUS_VERBOSE")) {
                std::printf("%s %8.1f ms %7lld vertices %s\n%s", ok ? "loaded " : "refused",
                            model.load_ms, static_cast<long long>(model.vertex_count), file.c_str(),
                            err.c_str());
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

namespace {

// A scratch folder for files a test writes, removed afterwards.
struct SCRATCH_DIR {
    fs::path path;
    SCRATCH_DIR() {
        path = fs::temp_directory_path() / ("vexa_import_" + std::to_string(getpid()));
        fs::create_directories(path);
    }
    ~SCRATCH_DIR() {
        std::error_code error;
        fs::remove_all(path, error);
    }
    std::string write(const char* name, const std::string& text) const {
        std::ofstream(path / name) << text;
        return (path / name).string();
    }
};

bool import_text(const std::string& text, const char* hint, IMPORTED_MODEL* out, std::string* err) {
    testing::internal::CaptureStderr();
    bool ok = import_model_from_memory(text.data(), text.size(), hint, "mem.obj", out);
    *err = testing::internal::GetCapturedStderr();
    return ok;
}

} // namespace

TEST_F(MODEL_IMPORT, broken_files_are_refused_with_one_line_and_nothing_built) {
    const char* const CASES[][2] = {
        {"v nan 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "not finite"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2\n", ""},
        {"this is not a model", ""},
    };
    for (const auto& c : CASES) {
        IMPORTED_MODEL model;
        std::string err;
        EXPECT_FALSE(import_text(c[0], "obj", &model, &err)) << c[0];
        EXPECT_EQ(count_lines(err), 1) << err;
        EXPECT_EQ(err.rfind("mem.obj: ", 0), 0u) << err;
        EXPECT_NE(err.find(c[1]), std::string::npos) << err;
        EXPECT_TRUE(model.root == nullptr && model.actors.empty() && model.models.empty());
        EXPECT_EQ(live_texture_objects, 0);
    }
    // A model record that already holds a model is not loaded into.
    IMPORTED_MODEL full;
    std::string err;
    ASSERT_TRUE(import_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "obj", &full, &err)) << err;
    MODEL_ACTOR* root = full.root;
    EXPECT_FALSE(import_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "obj", &full, &err));
    EXPECT_EQ(count_lines(err), 1) << err;
    EXPECT_EQ(full.root, root);
    release_imported_model(&full);
}

// Pids of this process's children named vexa-decode (the decoder server).
std::vector<pid_t> decoder_children() {
    std::vector<pid_t> found;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream children(task.path() / "children");
        for (pid_t pid; children >> pid;) {
            std::string name;
            std::ifstream(fs::path("/proc") / std::to_string(pid) / "comm") >> name;
            if (name == "vexa-decode") {
                found.push_back(pid);
            }
        }
    }
    return found;
}

// Every decode runs in a child of one decoder server: a decode that crashes
// takes only its own process, and a server killed from outside is replaced
// (the import meanwhile spawning a decoder of its own).
TEST_F(MODEL_IMPORT, a_crashed_decode_or_a_killed_decoder_server_spoils_no_later_import) {
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    // A node that instances itself overflows Assimp's stack.
    const std::string cycle =
        "<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/"
        "COLLADASchema\" version=\"1.4.1\"><library_nodes><node id=\"a\"><instance_node "
        "url=\"#a\"/></node></library_nodes><library_visual_scenes><visual_scene id=\"s\">"
        "<node id=\"r\"><instance_node url=\"#a\"/></node></visual_scene>"
        "</library_visual_scenes><scene><instance_visual_scene url=\"#s\"/></scene></COLLADA>";
    for (int round = 0; round < 2; ++round) {
        std::string err;
        IMPORTED_MODEL crashed, good, after_kill;
        EXPECT_FALSE(import_text(cycle, "dae", &crashed, &err));
        EXPECT_NE(err.find("the decoder crashed (SIGSEGV)"), std::string::npos) << err;
        ASSERT_TRUE(import_text(triangle, "obj", &good, &err)) << err;
        release_imported_model(&good);
        const std::vector<pid_t> servers = decoder_children();
        ASSERT_EQ(servers.size(), 1u) << "round " << round;
        kill(servers[0], SIGKILL);
        ASSERT_TRUE(import_text(triangle, "obj", &after_kill, &err)) << err;
        EXPECT_EQ(err, "");
        release_imported_model(&after_kill);
    }
}

// The guards before decoding pass every OFF, PLY and STL file of Assimp's
// corpus (and every model the corpus test loads), and refuse forged counts
// and picture sizes whatever the file is named, comments and spaces first.
TEST_F(MODEL_IMPORT, guards_refuse_forged_counts_and_picture_sizes_and_pass_real_files) {
    namespace fs = std::filesystem;
    int real = 0;
    for (const char* folder : {"OFF", "PLY", "STL"}) {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(
                 std::string("/usr/share/assimp/models/") + folder, error)) {
            std::string reason;
            if (entry.is_regular_file() &&
                entry.path().string().find("invalid") == std::string::npos) {
                EXPECT_TRUE(model_file_guard(entry.path().c_str(), &reason))
                    << entry.path() << ": " << reason;
                ++real;
            }
        }
    }
    EXPECT_GT(real, 15);
    const std::string comment = "#" + std::string(600, 'x') + "\n";
    const char* const forged[][2] = {
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", nullptr},
        {"", "file.txt"}, // a long comment and spaces before a forged OFF header
        {"ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nend_header\n0\n1\n2\n",
         nullptr},
        {"ply\nformat ascii 1.0\nelement vertex 99999\nproperty float x\nend_header\n0\n", nullptr},
        {"xof 0303txt 0032\nMesh m {\n 1;\n0;0;0;;\n 1;\n3;0,0,0;;\n}\n", nullptr},
        {"xof 0303txt 0032\nMesh {\n 1;\n0;0;0;;\n 500;\n3;0,0,0;;\n}\n", nullptr},
        {"MD5Version 10\nnumJoints 1\nnumMeshes 1\njoints {\n\"root\" -1 ( 0 0 0 ) ( 0 0 0 )\n}\n",
         nullptr},
        {"MD5Version 10\nnumJoints 1\nnumMeshes 1\nmesh {\nnumweights 70000\n}\n", nullptr},
        {"version 1\nnodes\n0 \"root\" -1\nend\n", nullptr},
        {"version 1\n// c\nnodes\n5000 \"root\" -1\nend\n", nullptr},
    };
    for (size_t i = 0; i < sizeof forged / sizeof forged[0]; ++i) {
        std::string text = i == 1 ? comment + "   OFF\n4000000 1 0\n0 0 0\n" : forged[i][0];
        std::string reason;
        const bool passes = model_content_guard(reinterpret_cast<const uint8_t*>(text.data()),
                                                text.size(), forged[i][1], &reason);
        EXPECT_EQ(passes, i % 2 == 0) << text.substr(0, 80) << ": " << reason;
        EXPECT_EQ(passes, reason.empty()) << reason;
    }
    // Pictures: a huge size in every accepted format is refused from its
    // header, JPEG fill bytes and many segments included; others are not taken.
    auto le16 = [](int v) { return std::string{char(v & 255), char(v >> 8)}; };
    std::string jpeg = "\xff\xd8";
    for (int s = 0; s < 1000; ++s) {
        jpeg += std::string("\xff\xff\xfe\x00\x04", 5) + "ab";
    }
    jpeg += std::string("\xff\xff\xc0\x00\x11\x08\xff\xdc\xff\xdc", 10);
    const std::string huge_png = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\1\0\0\0\0\0\1", 24);
    const std::string huge_gif = "GIF89a" + le16(16) + le16(16) + std::string("\0\0\0", 3) +
                                 "\x2c" + le16(0) + le16(0) + le16(65500) + le16(2) + "\0";
    const std::string huge_bmp = "BM" + std::string(12, '\0') + std::string("\x28\0\0\0", 4) +
                                 le16(3) + le16(0) + le16(3) + std::string("\x01\0", 2) + "xx";
    const std::string huge_tga = std::string("\0\0\2", 3) + std::string(9, '\0') + le16(20000) +
                                 le16(1) + std::string("\x20\x08", 2);
    const std::pair<std::string, const char*> pictures[] = {
        {jpeg, "a.jpg"},     {huge_png, "a.png"}, {huge_gif, "a.png"},
        {huge_bmp, "a.bmp"}, {huge_tga, "a.tga"}, {"P6 1 1 255\n\0\0\0", "a.ppm"}};
    for (const auto& [bytes, name] : pictures) {
        const char* format = nullptr;
        std::string reason;
        EXPECT_FALSE(picture_header_check(reinterpret_cast<const uint8_t*>(bytes.data()),
                                          bytes.size(), name, &format, &reason))
            << name;
        EXPECT_FALSE(reason.empty()) << name;
    }
    // A page of spaces named .stl has no first token: the text keyword is
    // not compared past its end (the page after it faults).
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    void* area =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(area, MAP_FAILED);
    ASSERT_EQ(mprotect(static_cast<char*>(area) + page, page, PROT_NONE), 0);
    std::memset(area, ' ', page);
    std::string reason;
    EXPECT_FALSE(
        model_content_guard(static_cast<const uint8_t*>(area), page, "spaces.stl", &reason));
    EXPECT_NE(reason.find("STL"), std::string::npos) << reason;
    munmap(area, 2 * page);
}

namespace {

// An answer as the decoder sends it, without its 8-byte length.
template <class SEND> std::vector<uint8_t> answer_bytes(SEND send) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    EXPECT_TRUE(send(ends[1]));
    close(ends[1]);
    std::vector<uint8_t> bytes;
    uint8_t buffer[4096];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    close(ends[0]);
    bytes.erase(bytes.begin(), bytes.begin() + std::min<size_t>(8, bytes.size()));
    return bytes;
}

long status_kib(const char* key) {
    std::ifstream status("/proc/self/status");
    for (std::string word; status >> word;) {
        if (word == key) {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return -1;
}

} // namespace

// The answer is input: its counts are bounded by the bytes that hold them,
// its length is a claim read against the bytes that arrive and a cap, and a
// picture that comes back is checked as the engine's own decoder checks it.
TEST_F(MODEL_IMPORT, decoder_answers_are_bounded_by_their_bytes_and_read_as_they_arrive) {
    DECODED_MODEL model;
    model.nodes.resize(2);
    model.nodes[1].parent = 0;
    model.nodes[1].name = "child";
    model.warnings = {"a warning"};
    DECODE_STATUS status = DECODE_REFUSED;
    std::string reason;
    std::vector<uint8_t> bytes =
        answer_bytes([&](int fd) { return decoded_model_send(fd, DECODE_LOADED, model, ""); });
    DECODED_MODEL back;
    ASSERT_TRUE(decoded_model_read(bytes.data(), bytes.size(), &status, &back, &reason));
    EXPECT_EQ(status, DECODE_LOADED);
    EXPECT_EQ(back.nodes.size(), 2u);
    EXPECT_EQ(back.nodes[1].name, "child");
    EXPECT_EQ(back.warnings, model.warnings);
    // A node count that 8 bytes a node could hold, but a node's fields cannot.
    std::vector<uint8_t> forged(1 << 20, 0);
    const uint64_t nodes = (forged.size() - 9) / 8;
    std::memcpy(forged.data() + 1, &nodes, sizeof nodes);
    DECODED_MODEL forged_model;
    EXPECT_FALSE(decoded_model_read(forged.data(), forged.size(), &status, &forged_model, &reason));
    EXPECT_TRUE(forged_model.nodes.empty());

    PICTURE picture;
    picture.width = 2;
    picture.height = 1;
    picture.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    PICTURE picture_back;
    bytes =
        answer_bytes([&](int fd) { return decoded_picture_send(fd, DECODE_LOADED, picture, ""); });
    ASSERT_TRUE(decoded_picture_read(bytes.data(), bytes.size(), &status, &picture_back, &reason));
    EXPECT_EQ(picture_back.pixels, picture.pixels);
    for (int32_t width : {3, 0, 1 << 20}) {
        picture.width = width; // pixels no longer width x height x 4, or a size not taken
        bytes = answer_bytes(
            [&](int fd) { return decoded_picture_send(fd, DECODE_LOADED, picture, ""); });
        EXPECT_FALSE(
            decoded_picture_read(bytes.data(), bytes.size(), &status, &picture_back, &reason))
            << width;
    }

    // Decoders that lie about their answer's length (little endian, first 8 bytes).
    SCRATCH_DIR dir;
    const IMPORT_OPTIONS saved = import_options;
    const struct {
        const char* script;
        double seconds; // the first ends by its time limit, the others at once
        const char* refusal;
    } LIARS[] = {
        // 896 MB announced, 8 bytes sent, then silence: the caller allocates nothing.
        {R"(printf '\000\000\000\070\000\000\000\000\000\000\000\000\000\000\000\000')"
         "; exec sleep 30",
         1.0, "took longer than 1 s"},
        {R"(printf '\000\000\000\200\000\000\000\000')", 30.0, "answer is too large (over 1024 MB"},
        {R"(printf '\020\000\000\000\000\000\000\000'; head -c 40 /dev/zero)", 30.0,
         "more than it announced"},
    };
    for (const auto& liar : LIARS) {
        const std::string program =
            dir.write("liar", std::string("#!/bin/sh\n[ \"$1\" = --serve ] && exit 1\n") +
                                  liar.script + "\n");
        fs::permissions(program, fs::perms::owner_all);
        import_options.seconds_limit = liar.seconds;
        import_options.decoder = program.c_str();
        const bool peak_reset = bool(std::ofstream("/proc/self/clear_refs") << "5");
        const long before = status_kib("VmRSS:");
        IMPORTED_MODEL imported;
        std::string err;
        EXPECT_FALSE(import_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "obj", &imported, &err));
        EXPECT_EQ(count_lines(err), 1) << err;
        EXPECT_NE(err.find(liar.refusal), std::string::npos) << err;
        if (peak_reset) {
            EXPECT_LT(status_kib("VmHWM:") - before, 64 << 10) << liar.refusal;
        }
        fs::remove(program);
    }
    import_options = saved;
}

TEST_F(MODEL_IMPORT, missing_picture_is_drawn_white_with_one_warning_others_are_found) {
    SCRATCH_DIR dir;
    dir.write("two.mtl",
              "newmtl a\nKd 1 1 1\nmap_Kd gone.png\nnewmtl b\nKd 1 1 1\nmap_Kd gone.png\n");
    std::string obj = dir.write("two.obj", "mtllib two.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                                           "usemtl a\nf 1 2 3\nusemtl b\nf 2 4 3\n");
    IMPORTED_MODEL model;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(import_model(obj.c_str(), &model));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_lines(err), 1) << err;
    EXPECT_EQ(err.rfind(obj + ": warning: picture gone.png is missing", 0), 0u) << err;
    ASSERT_EQ(model.mesh_count, 2);
    for (const MESH* mesh = model.models[0]->meshes; mesh; mesh = mesh->next) {
        const IMAGE& image = *mesh->material->textures[0]->image;
        ASSERT_EQ(image.width * image.height, 1);
        EXPECT_EQ(image.pixels[0] & image.pixels[1] & image.pixels[2] & image.pixels[3], 255);
        EXPECT_NE(mesh->material->textures[0]->slot, -1);
    }
    release_imported_model(&model);
    EXPECT_EQ(live_texture_objects, 0);

    // A picture named with other letter case (and a Windows path) is found.
    SDL_Surface* red = SDL_CreateRGBSurfaceWithFormat(0, 1, 1, 32, SDL_PIXELFORMAT_RGBA32);
    ASSERT_NE(red, nullptr);
    const uint8_t rgba[4] = {255, 0, 0, 255};
    std::memcpy(red->pixels, rgba, 4);
    ASSERT_EQ(SDL_SaveBMP(red, (dir.path / "red.bmp").c_str()), 0);
    SDL_FreeSurface(red);
    dir.write("case.mtl", "newmtl a\nKd 1 1 1\nmap_Kd C:\\maps\\RED.BMP\n");
    obj = dir.write("case.obj", "mtllib case.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\n");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(import_model(obj.c_str(), &model));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const IMAGE& found = *model.models[0]->meshes->material->textures[0]->image;
    EXPECT_EQ(std::memcmp(found.pixels, rgba, 4), 0);
    release_imported_model(&model);
}

TEST_F(MODEL_IMPORT, meshes_beyond_16_bit_indices_are_split_into_several_models) {
    // 23 334 separate triangles: 70 002 distinct vertices in one mesh.
    std::string obj;
    const int triangles = 23334;
    for (int i = 0; i < triangles; ++i) {
        obj += "v " + std::to_string(i) + " 0 0\nv " + std::to_string(i) + " 1 0\nv " +
               std::to_string(i) + " 0 1\n";
    }
    for (int i = 0; i < triangles; ++i) {
        obj += "f " + std::to_string(3 * i + 1) + " " + std::to_string(3 * i + 2) + " " +
               std::to_string(3 * i + 3) + "\n";
    }
    IMPORTED_MODEL model;
    std::string err;
    ASSERT_TRUE(import_text(obj, "obj", &model, &err)) << err;
    expect_sound(model, "split");
    EXPECT_EQ(model.models.size(), 2u);
    EXPECT_EQ(model.vertex_count, 3 * triangles);
    EXPECT_EQ(model.triangle_count, triangles);
    EXPECT_EQ(model.bounds_max.x, float(triangles - 1));
    release_imported_model(&model);
}

TEST_F(MODEL_IMPORT, skinned_model_plays_its_clip_and_switches_skinning_paths) {
    IMPORTED_MODEL model;
    std::string file = std::string(CORPUS) + "/glTF2/simple_skin/simple_skin.gltf";
    ASSERT_TRUE(import_model(file.c_str(), &model));
    ASSERT_EQ(model.skinned_actors.size(), 1u);
    ASSERT_EQ(model.clips.size(), 1u);
    EXPECT_EQ(model.joint_count, 2);
    EXPECT_FLOAT_EQ(model.clips[0].seconds, 5.5f);
    ANIMATION* clip = model.clips[0].per_actor[0];
    EXPECT_EQ(clip->frame_count, 331); // 5.5 s at 60 per second, both ends
    MODEL_ACTOR* actor = model.skinned_actors[0];
    EXPECT_TRUE(actor->model->skinned);
    EXPECT_EQ(actor->skin->joint_count, 2);

    imported_model_play(&model, 0);
    EXPECT_EQ(actor->animation, clip);
    // Thirty steps move thirty frames on.
    for (int i = 0; i < 30; ++i) {
        advance_animation(clip);
    }
    EXPECT_EQ(select_animation_frame(clip), &clip->frames[30]);
    imported_model_pause(&model, true);
    EXPECT_EQ(clip->rate, 0.0f);
    imported_model_pause(&model, false);

    // CPU skinning deforms the drawn vertices; back on the GPU they are the bind pose again.
    imported_model_use_cpu_skinning(&model, true);
    update_skeleton_pose(actor);
    const MODEL& m = *actor->model;
    size_t bytes = size_t(m.vertices.count) * sizeof(VERTEX);
    EXPECT_NE(std::memcmp(m.vertices.data, m.source_vertices.data, bytes), 0);
    imported_model_use_cpu_skinning(&model, false);
    EXPECT_EQ(std::memcmp(m.vertices.data, m.source_vertices.data, bytes), 0);

    imported_model_play(&model, 7);
    EXPECT_EQ(actor->animation, nullptr);
    release_imported_model(&model);
}

TEST_F(MODEL_IMPORT, pictures_load_as_rgba_rows_from_the_top) {
    SCRATCH_DIR dir;
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 2, 2, 32, SDL_PIXELFORMAT_RGBA32);
    ASSERT_NE(s, nullptr);
    const uint8_t rows[2][8] = {{255, 0, 0, 255, 0, 255, 0, 255}, {0, 0, 255, 255, 9, 8, 7, 128}};
    for (int y = 0; y < 2; ++y) {
        std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch, rows[y], 8);
    }
    std::string bmp = (dir.path / "p.bmp").string();
    ASSERT_EQ(SDL_SaveBMP(s, bmp.c_str()), 0);
    SDL_FreeSurface(s);

    IMAGE image;
    ASSERT_TRUE(load_picture(bmp.c_str(), &image));
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.stride, 8);
    EXPECT_EQ(image.pixel_order, PIXEL_ORDER_RGBA);
    EXPECT_EQ(std::memcmp(image.pixels, rows, 16), 0);

    std::string junk = dir.write("junk.png", "not a picture");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(load_picture(junk.c_str(), &image));
    EXPECT_EQ(load_texture(junk.c_str()), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_lines(err), 2) << err;
    EXPECT_EQ(err.rfind(junk + ": ", 0), 0u) << err;
    EXPECT_EQ(image.width, 2); // left as it was
    EXPECT_EQ(live_texture_objects, 0);

    // A header that declares a huge picture is refused before anything is decoded.
    const uint8_t huge_png[] = {0x89, 'P', 'N',  'G',  '\r', '\n', 0x1a, '\n', 0,    0,
                                0,    13,  'I',  'H',  'D',  'R',  0,    1,    0x86, 0xa0,
                                0,    1,   0x86, 0xa0, 8,    6,    0,    0,    0};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(load_picture_from_memory(huge_png, sizeof huge_png, "huge.png", &image));
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("huge.png: declares a 100000 x 100000 picture", 0), 0u) << err;

    TEXTURE* texture = load_texture(bmp.c_str());
    ASSERT_NE(texture, nullptr);
    EXPECT_NE(texture->slot, -1);
    EXPECT_EQ(fake_gl::state().last_data,
              std::vector<unsigned char>(&rows[0][0], &rows[0][0] + 16));
    texture_release(uint32_t(texture->slot));
    delete texture;

    // Pictures decode in the decoder process (none to be found: refused),
    // or in this one when asked, with the same pixels.
    const IMPORT_OPTIONS saved = import_options;
    import_options.decoder = "/nonexistent/vexa-decode";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(load_picture(bmp.c_str(), &image));
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("vexa-decode cannot be found"), std::string::npos) << err;
    import_options.in_process = true;
    IMAGE here;
    ASSERT_TRUE(load_picture(bmp.c_str(), &here));
    EXPECT_EQ(std::memcmp(here.pixels, rows, 16), 0);
    import_options = saved;
}

#if defined(VEXA_TEST_PROBE)
// A decoder taken over by its file can only answer: the tests' decoder tries,
// right after its lock, to read /etc/passwd, a file beside its folder tree
// and, for a model directly under /tmp, anything outside /tmp; to write a
// file, open a socket and run a shell. Each attempt fails (the decode then
// answers normally) or ends the decode as a forbidden operation (a socket and
// a shell always do); none succeeds, which would end it with exit status 42.
// The decoder's server stays out of the program's process group (Ctrl+C in a
// terminal reaches only the program) and, set to one decode per server, is
// replaced after each.
TEST_F(MODEL_IMPORT, a_taken_over_decoder_can_only_answer) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the thread sanitizer's build has no system-call filter";
#endif
    const fs::path root = fs::temp_directory_path() / ("vexa-probe-" + std::to_string(getpid()));
    fs::create_directories(root / "tree" / "models");
    std::ofstream(root / "beside.txt") << "outside the tree\n";
    const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    std::vector<std::string> models;
    for (const char* probe : {"passwd", "beside", "write", "socket", "exec"}) {
        models.push_back((root / "tree" / "models" / ("probe-" + std::string(probe) + ".obj")));
    }
    models.push_back(fs::temp_directory_path() /
                     ("probe-top-" + std::to_string(getpid()) + ".obj"));
    import_options.decoder = VEXA_TEST_PROBE;
    for (const std::string& path : models) {
        std::ofstream(path) << triangle;
        IMPORTED_MODEL m;
        testing::internal::CaptureStderr();
        const bool ok = import_model(path.c_str(), &m);
        const std::string err = testing::internal::GetCapturedStderr();
        const bool kills =
            path.find("socket") != std::string::npos || path.find("exec") != std::string::npos;
        EXPECT_FALSE(ok && kills) << path;
        if (!ok) {
            EXPECT_EQ(count_lines(err), 1) << err;
            EXPECT_NE(err.find("forbidden operation"), std::string::npos) << err;
        }
        release_imported_model(&m);
    }
    fs::remove(models.back());
    EXPECT_FALSE(fs::exists(root / "tree" / "written.txt"));
    SDL_Surface* dot = SDL_CreateRGBSurfaceWithFormat(0, 1, 1, 32, SDL_PIXELFORMAT_RGBA32);
    ASSERT_NE(dot, nullptr);
    const uint8_t pixel[4] = {10, 20, 30, 255};
    std::memcpy(dot->pixels, pixel, 4);
    for (const char* probe : {"probe-passwd.bmp", "probe-socket.bmp"}) {
        ASSERT_EQ(SDL_SaveBMP(dot, (root / "tree" / "models" / probe).c_str()), 0);
    }
    SDL_FreeSurface(dot);
    // A relative name means this process's working folder, not the one the
    // decoder's server started in.
    const fs::path started_in = fs::current_path();
    fs::current_path(root / "tree" / "models");
    IMPORTED_MODEL relative;
    EXPECT_TRUE(import_model("probe-passwd.obj", &relative));
    release_imported_model(&relative);
    // Pictures take the same locked decoder, handed their descriptor (the
    // relative name found from here) or their bytes: the probe's read of
    // /etc/passwd fails and the pixels come back, its socket ends the decode.
    IMAGE picture, from_memory;
    const bool by_name = load_picture("probe-passwd.bmp", &picture);
    EXPECT_TRUE(by_name && std::memcmp(picture.pixels, pixel, 4) == 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(load_picture("probe-socket.bmp", &picture));
    const std::string refused = testing::internal::GetCapturedStderr();
    EXPECT_NE(refused.find("forbidden operation"), std::string::npos) << refused;
    std::ifstream bmp_file("probe-passwd.bmp", std::ios::binary);
    const std::string bmp_bytes((std::istreambuf_iterator<char>(bmp_file)), {});
    const bool in_memory =
        load_picture_from_memory(bmp_bytes.data(), bmp_bytes.size(), "dot.bmp", &from_memory);
    EXPECT_TRUE(in_memory && std::memcmp(from_memory.pixels, pixel, 4) == 0);
    fs::current_path(started_in);
    fs::remove_all(root);

    // With one decode per server, every decode leaves a fresh server behind.
    import_options.decoder = VEXA_TEST_DECODER;
    import_options.decodes_per_server = 1;
    std::vector<pid_t> servers;
    for (int round = 0; round < 2; ++round) {
        IMPORTED_MODEL m;
        std::string err;
        ASSERT_TRUE(import_text(triangle, "obj", &m, &err)) << err;
        release_imported_model(&m);
        // A server just started may not carry its program's name for a moment.
        std::vector<pid_t> now = decoder_children();
        for (int tries = 0; now.empty() && tries < 100; ++tries) {
            usleep(10000);
            now = decoder_children();
        }
        ASSERT_EQ(now.size(), 1u);
        EXPECT_NE(getpgid(now[0]), getpgrp());
        servers.push_back(now[0]);
    }
    EXPECT_NE(servers[0], servers[1]);
    import_options.decodes_per_server = IMPORT_OPTIONS{}.decodes_per_server;
}
#endif

// The neighbourhood of a model: the folder above its own, except where that
// is / or a top-level folder, a home folder or the folder holding homes.
TEST(DECODER_FILES_RULE, parent_folder_is_read_only_below_shared_and_home_folders) {
    EXPECT_TRUE(parent_is_neighbourhood("/srv/project/models", "/root"));
    EXPECT_TRUE(parent_is_neighbourhood("/home/ann/project/models", "/home/ann"));
    EXPECT_FALSE(parent_is_neighbourhood("/", "/root"));
    EXPECT_FALSE(parent_is_neighbourhood("/tmp", "/root"));
    EXPECT_FALSE(parent_is_neighbourhood("/tmp/models", "/root"));
    EXPECT_FALSE(parent_is_neighbourhood("/home/ann/models", nullptr));
    EXPECT_FALSE(parent_is_neighbourhood("/data/me/models", "/data/me"));
}
