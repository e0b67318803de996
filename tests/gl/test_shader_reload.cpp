// Live shader editing on real OpenGL 2.1: in a watched copy of the shader
// folder, an edit that does not compile keeps the running program and is
// reported once; a good edit, of the stage file or of a file it includes,
// replaces the program at the same address, and draws change with it.
#include "app/platform.h"
#include "scene/uniforms.h"
#include "shader/program.h"
#include "shader/reload.h"
#include "tests/support/gl_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class SHADER_RELOAD : public GL_TEST {
  protected:
    void SetUp() override {
        GL_TEST::SetUp();
        if (IsSkipped()) {
            return;
        }
        folder = fs::temp_directory_path() / ("vexa-reload-" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::copy("shaders", folder, fs::copy_options::recursive);
        folder_name = folder.string();
        saved_directory = shader_directory;
        shader_directory = folder_name.c_str();
        reset_shader_programs();
        create_program_set();
        watch = folder_watch_start(folder_name.c_str());
    }
    void TearDown() override {
        folder_watch_stop(watch);
        reset_shader_programs();
        shader_directory = saved_directory;
        fs::remove_all(folder);
    }
    void write(const char* name, const char* text) {
        std::ofstream(folder / name, std::ios::trunc) << text;
    }
    // Reloads after the watch saw the edit; what went to stderr.
    std::string reload(int expected_replaced) {
        EXPECT_TRUE(folder_watch_changed(watch));
        testing::internal::CaptureStderr();
        EXPECT_EQ(reload_changed_programs(), expected_replaced);
        return testing::internal::GetCapturedStderr();
    }
    // The centre pixel of a window-filling red quad drawn with primitives2d.
    RGBA draw_red() {
        static const float IDENTITY[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        use_program(program_primitives2d);
        glUniformMatrix4fv(program_primitives2d->matrix_locations.model_view_projection, 1,
                           GL_FALSE, IDENTITY);
        glViewport(0, 0, 1024, 600);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor4f(1, 0, 0, 1);
        glBegin(GL_QUADS);
        glVertex2f(-1, -1);
        glVertex2f(1, -1);
        glVertex2f(1, 1);
        glVertex2f(-1, 1);
        glEnd();
        return gl_pixel(512, 300);
    }

    fs::path folder;
    std::string folder_name;
    const char* saved_directory = nullptr;
    FOLDER_WATCH* watch = nullptr;
};

} // namespace

TEST_F(SHADER_RELOAD, a_failing_edit_keeps_the_program_once_reported_and_good_edits_replace_it) {
    ASSERT_NE(watch, nullptr);
    SHADER_PROGRAM* program = program_primitives2d;
    const GLuint original = program->program;
    EXPECT_EQ(draw_red().r, 255);

    write("2d_primitives_fs.glsl", "void main() { gl_FragColor = no_such_name; }\n");
    const std::string message = reload(0);
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find("2d_primitives_fs.glsl"), std::string::npos) << message;
    EXPECT_EQ(program->program, original);
    EXPECT_FALSE(program->build_failed);
    EXPECT_EQ(draw_red().r, 255); // still the running program
    // Another change elsewhere: the same broken text is not built or reported again.
    write("unrelated.txt", "x");
    EXPECT_EQ(reload(0), "");

    // Fixed, through an included file: replaced in place, the old GL objects
    // gone, and the caches that named the old program start again.
    write("tint.glsl", "const vec4 TINT = vec4(0.0, 0.0, 1.0, 1.0);\n");
    write("2d_primitives_fs.glsl",
          "#include \"tint.glsl\"\nvoid main() { gl_FragColor = TINT; }\n");
    program->lookup_uniform("ModelViewProjectionMatrix");
    use_program(program);
    EXPECT_EQ(reload(1), "");
    EXPECT_EQ(program_primitives2d, program);
    EXPECT_NE(program->program, original);
    EXPECT_EQ(glIsProgram(original), GL_FALSE);
    EXPECT_EQ(current_program, nullptr);
    EXPECT_EQ(program->lookup_count, 0);
    RGBA blue = draw_red();
    EXPECT_EQ(blue.r, 0);
    EXPECT_EQ(blue.b, 255);

    // Only the included file changes: the program that includes it follows.
    write("tint.glsl", "const vec4 TINT = vec4(0.0, 1.0, 0.0, 1.0);\n");
    reload(1);
    EXPECT_EQ(draw_red().g, 255);
}
