// Shader source assembly: the file cache, "#include" expansion with its stop
// rules and bounds, and the injected header, on files in a temporary folder.
#include "shader/program.h"
#include "shader/source.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class SHADER_SOURCE : public ::testing::Test {
  protected:
    fs::path root;

    void SetUp() override {
        fake_gl::reset();
        reset_shader_programs();
        // A folder of its own (create_directory is false when it exists).
        for (int attempt = 0; root.empty() && attempt < 100; ++attempt) {
            const fs::path candidate = fs::temp_directory_path() /
                                       ("vexa_shader_" + std::to_string(std::random_device{}()));
            if (fs::create_directory(candidate)) {
                root = candidate;
            }
        }
        ASSERT_FALSE(root.empty());
    }
    void TearDown() override {
        reset_file_cache();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    std::string path(const std::string& name) const { return (root / name).string(); }

    void write(const std::string& name, const std::string& bytes) const {
        fs::path p = root / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
    }

    // Expands the text of the stage file at name the way load_stage_source
    // does, without the header; returns the text.
    std::string expand(const std::string& name, int* expanded = nullptr) const {
        SHADER_STAGE stage;
        stage.file = load_file_cached(path(name).c_str());
        EXPECT_NE(stage.file, nullptr);
        if (!stage.file) {
            return {};
        }
        std::string text(reinterpret_cast<const char*>(stage.file->bytes), stage.file->size);
        int count = expand_includes(&stage, text);
        if (expanded) {
            *expanded = count;
        }
        return text;
    }
};

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) {
        lines.push_back(text.substr(start, at - start));
    }
    EXPECT_EQ(start, text.size()) << "every line ends with a line feed";
    return lines;
}

} // namespace

TEST_F(SHADER_SOURCE, injected_header_is_1257_characters_of_30_lines_before_the_stage_text) {
    std::string header;
    append_injected_header(header);
    ASSERT_EQ(header.size(), INJECTED_HEADER_LENGTH);
    ASSERT_EQ(header.size(), 1257u);
    std::vector<std::string> lines = split_lines(header);
    ASSERT_EQ(lines.size(), 30u);
    const std::string separator = "// " + std::string(96, '-');
    EXPECT_EQ(lines[0], separator);
    EXPECT_EQ(lines[2], separator);
    EXPECT_EQ(lines[26], separator);
    EXPECT_EQ(lines[28], separator);
    EXPECT_EQ(lines[1], "//" + std::string(27, ' ') + "Code injected dynamically by the engine");
    EXPECT_EQ(lines[27], "//" + std::string(76, ' ') + "End of code injection");
    EXPECT_EQ(lines[4], "#version 120");
    EXPECT_EQ(lines[6], "#define _WIN32");
    EXPECT_EQ(lines[8], "#define NUMERO_MAXIMO_INFLUENCIAS_POR_VERTICE                 4");
    EXPECT_EQ(lines[9], "#define NUMERO_MAXIMO_JOINTS_POR_ARMATURE                     40");
    EXPECT_EQ(lines[16], "#define LIGHT_TYPE_DIRECTIONAL                                3");
    EXPECT_EQ(lines[20], "#define MAX_LIGHTS                                            5");
    EXPECT_EQ(lines[23], "#define ANIMACION_DE_TEXTURA_ACTIVA                           1");
    for (int empty : {3, 5, 7, 13, 14, 19, 21, 24, 25, 29}) {
        EXPECT_EQ(lines[empty], "") << "line " << empty + 1;
    }

    write("only_main.glsl", "void main(){}");
    SHADER_STAGE stage;
    stage.type = GL_VERTEX_SHADER;
    ASSERT_TRUE(load_stage_source(path("only_main.glsl").c_str(), &stage));
    EXPECT_EQ(stage.text, header + "void main(){}");
    EXPECT_EQ(fake_gl::take(),
              (std::vector<std::string>{fake_gl::call("glCreateShader", GLenum(GL_VERTEX_SHADER)),
                                        fake_gl::call("glShaderSource", 1u, 1)}));
    ASSERT_EQ(fake_gl::state().shader_sources.size(), 1u);
    EXPECT_EQ(fake_gl::state().shader_sources[0], stage.text);
}

TEST_F(SHADER_SOURCE, directive_spacing_only_spaces_are_skipped_and_a_tab_stops_expansion) {
    write("x.glsl", "X");
    write("top.glsl",
          "A#include<x.glsl>B#include   \"x.glsl\"C#include\t<x.glsl>D#include <x.glsl>");
    EXPECT_EQ(expand("top.glsl"), "AXBXC#include\t<x.glsl>D#include <x.glsl>");

    write("newline.glsl", "#include\n<x.glsl> #include <x.glsl>");
    EXPECT_EQ(expand("newline.glsl"), "#include\n<x.glsl> #include <x.glsl>");

    write("comment.glsl", "// see #include <x.glsl> here\n");
    EXPECT_EQ(expand("comment.glsl"), "// see X here\n");
}

TEST_F(SHADER_SOURCE, nested_names_resolve_against_the_top_level_stage_directory) {
    write("b.glsl", "ROOT_B");
    write("sub/b.glsl", "SUB_B");
    write("sub/a.glsl", "[#include \"b.glsl\"]");
    write("top.glsl", "#include <sub/a.glsl>\n");
    EXPECT_EQ(expand("top.glsl"), "[ROOT_B]\n");
    EXPECT_NE(load_file_cached(path("b.glsl").c_str()), nullptr);

    // A backslash separator is cut at too; on this system it is part of the name.
    write("win\\x.glsl", "WIN");
    write("win\\top.glsl", "#include <x.glsl>");
    EXPECT_EQ(expand("win\\top.glsl"), "WIN");
}

TEST_F(SHADER_SOURCE, path_without_separator_resolves_against_the_working_directory) {
    write("x.glsl", "HERE");
    write("top.glsl", "#include <x.glsl>");
    fs::path previous = fs::current_path();
    fs::current_path(root);
    SHADER_STAGE stage;
    stage.file = load_file_cached("top.glsl");
    ASSERT_NE(stage.file, nullptr);
    std::string text = "#include <x.glsl>";
    expand_includes(&stage, text);
    fs::current_path(previous);
    EXPECT_EQ(text, "HERE");
    EXPECT_NE(load_file_cached("./x.glsl"), nullptr) << "cached under the ./ key";
}

TEST_F(SHADER_SOURCE, file_included_twice_is_read_once_and_inserted_twice_with_line_rest_kept) {
    write("x.glsl", "X\n");
    write("top.glsl", "#include <x.glsl> // one\n#include \"x.glsl\" // two\n");
    EXPECT_EQ(expand("top.glsl"), "X\n // one\nX\n // two\n");
    EXPECT_EQ(loaded_file_count, 2);

    // Later includes are answered from memory, not from the changed disk file.
    write("x.glsl", "CHANGED");
    EXPECT_EQ(expand("top.glsl"), "X\n // one\nX\n // two\n");
    EXPECT_EQ(loaded_file_count, 2);
}

TEST_F(SHADER_SOURCE, zero_byte_file_loads_with_a_one_byte_terminated_buffer) {
    write("empty.glsl", "");
    SHADER_STAGE stage;
    stage.type = GL_FRAGMENT_SHADER;
    ASSERT_TRUE(load_stage_source(path("empty.glsl").c_str(), &stage));
    ASSERT_NE(stage.file, nullptr);
    EXPECT_EQ(stage.file->size, 0);
    EXPECT_EQ(stage.file->buffer_size, 1);
    EXPECT_EQ(stage.file->bytes[0], 0);
    EXPECT_EQ(stage.text.size(), INJECTED_HEADER_LENGTH);

    write("top.glsl", "A#include <empty.glsl>B");
    EXPECT_EQ(expand("top.glsl"), "AB");
}

TEST_F(SHADER_SOURCE, included_bytes_are_inserted_whole_but_the_stage_file_ends_at_a_nul) {
    write("zero.glsl", std::string("P\0Q", 3));
    write("top.glsl", "#include <zero.glsl>");
    EXPECT_EQ(expand("top.glsl"), std::string("P\0Q", 3));

    write("stage.glsl", std::string("main\0tail", 9));
    SHADER_STAGE stage;
    stage.type = GL_VERTEX_SHADER;
    ASSERT_TRUE(load_stage_source(path("stage.glsl").c_str(), &stage));
    std::string header;
    append_injected_header(header);
    EXPECT_EQ(stage.text, header + "main");
}

TEST_F(SHADER_SOURCE, failed_directive_stops_expansion_and_keeps_earlier_expansions) {
    write("x.glsl", "X");
    const std::string long_name(2047, 'n');
    const std::vector<std::string> failing = {
        "#include <x.glsl",             // no closing delimiter
        "#include [x.glsl]",            // unrecognised opening character
        "#include <>",                  // empty name
        "#include <" + long_name + ">", // name of 2047 characters
        "#include <missing.glsl>",      // no such file
        "#include <.>",                 // a directory, not a file
        "#include",                     // text ends after the keyword
        "#include   ",                  // ... or after its spaces
    };
    for (const std::string& bad : failing) {
        const std::string text = "#include <x.glsl>|" + bad + "|#include <x.glsl>";
        write("top.glsl", text);
        reset_file_cache();
        EXPECT_EQ(expand("top.glsl"), "X|" + bad + "|#include <x.glsl>") << bad;
    }

    // 2046 characters is still a name: it is looked up (and missing here).
    write("top.glsl", "#include <" + std::string(2046, 'n') + ">");
    reset_file_cache();
    int expanded = -1;
    expand("top.glsl", &expanded);
    EXPECT_EQ(expanded, 0);
}

TEST_F(SHADER_SOURCE, self_and_mutual_inclusion_end_within_the_bounds) {
    write("self.glsl", "S#include <self.glsl>\n");
    int expanded = 0;
    std::string text = expand("self.glsl", &expanded);
    EXPECT_EQ(expanded, MAX_INCLUDE_DEPTH);
    EXPECT_NE(text.find("#include <self.glsl>"), std::string::npos);
    EXPECT_EQ(text.find("#include"), size_t(MAX_INCLUDE_DEPTH + 1)) << "S repeated, then the stop";

    write("a.glsl", "A#include <b.glsl>");
    write("b.glsl", "B#include \"a.glsl\"");
    text = expand("a.glsl", &expanded);
    EXPECT_EQ(expanded, MAX_INCLUDE_DEPTH);
    EXPECT_EQ(text.substr(0, 4), "ABAB");

    // Two self-includes per file: the first nests until the depth bound,
    // which stops the whole expansion like any failed directive.
    write("twice.glsl", "#include <twice.glsl>#include <twice.glsl>");
    text = expand("twice.glsl", &expanded);
    EXPECT_EQ(expanded, MAX_INCLUDE_DEPTH);

    // Siblings after a closed include are not nested: a long flat list
    // expands up to the expansion bound and keeps the rest as directives.
    write("leaf.glsl", "L");
    const int listed = MAX_INCLUDE_EXPANSIONS + 10;
    std::string many;
    for (int i = 0; i < listed; ++i) {
        many += "#include <leaf.glsl>";
    }
    write("flat.glsl", many);
    text = expand("flat.glsl", &expanded);
    EXPECT_EQ(expanded, MAX_INCLUDE_EXPANSIONS);
    EXPECT_EQ(text.substr(0, MAX_INCLUDE_EXPANSIONS + 1),
              std::string(MAX_INCLUDE_EXPANSIONS, 'L') + "#");
    EXPECT_EQ(text.size(),
              MAX_INCLUDE_EXPANSIONS + 10 * std::string("#include <leaf.glsl>").size());
}

TEST_F(SHADER_SOURCE, stage_path_longer_than_the_directory_buffer_gets_no_expansion) {
    write("x.glsl", "X");
    write("top.glsl", "#include <x.glsl>");
    // Padding with "./" components lengthens the path without changing the file.
    auto padded = [&](size_t length) {
        std::string prefix = root.string() + "/";
        std::string tail = "top.glsl";
        std::string p = prefix;
        while (p.size() + tail.size() < length) {
            p += "./";
        }
        if (p.size() + tail.size() > length) {
            p.replace(p.size() - 2, 2, "/"); // "//" is one character shorter than "./"
        }
        return p + tail;
    };
    for (size_t length :
         {size_t(STAGE_DIRECTORY_CAPACITY - 1), size_t(STAGE_DIRECTORY_CAPACITY), size_t(3000)}) {
        std::string stage_path = padded(length);
        ASSERT_EQ(stage_path.size(), length);
        SHADER_STAGE stage;
        stage.file = load_file_cached(stage_path.c_str());
        ASSERT_NE(stage.file, nullptr) << length;
        std::string text = "#include <x.glsl>";
        int expanded = expand_includes(&stage, text);
        if (length < size_t(STAGE_DIRECTORY_CAPACITY)) {
            EXPECT_EQ(text, "X");
            EXPECT_EQ(expanded, 1);
        } else {
            EXPECT_EQ(text, "#include <x.glsl>") << length;
            EXPECT_EQ(expanded, 0);
        }
    }
}

TEST_F(SHADER_SOURCE, missing_stage_file_reports_one_line_and_leaves_the_stage_untouched) {
    const std::string missing = path("absent_vs.glsl");
    SHADER_STAGE stage;
    stage.type = GL_VERTEX_SHADER;
    stage.text = "previous";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(load_stage_source(missing.c_str(), &stage));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(missing), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(stage.text, "previous");
    EXPECT_EQ(stage.file, nullptr);
    EXPECT_EQ(stage.shader, 0u);
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_EQ(loaded_file_count, 0) << "a failed read leaves no trace in the cache";

    // Once the file exists, the same path is read from disk.
    write("absent_vs.glsl", "void main(){}");
    EXPECT_TRUE(load_stage_source(missing.c_str(), &stage));
}
