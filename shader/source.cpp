// Shader source assembly: owns the file cache (loaded_files and its count,
// the spare-byte count) and creates each stage's GL shader object. Relies on
// stdio for whole-file reads and on gfx/gl.h for the GL calls.
#include "shader/source.h"

#include "shader/limits.h"

#include "gfx/gl_dialect.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

LOADED_FILE* loaded_files = nullptr;
int32_t loaded_file_count = 0;
int32_t loaded_file_extra_bytes = 0;

namespace {

LOADED_FILE* loaded_files_tail = nullptr;

constexpr char INCLUDE_KEYWORD[] = "#include";
constexpr size_t INCLUDE_KEYWORD_LENGTH = sizeof INCLUDE_KEYWORD - 1;

// Reads the whole of an open regular file into a fresh buffer with the spare
// bytes after it; null when the size cannot be found, does not fit the 32-bit
// size field, or the read comes up short.
unsigned char* read_whole_file(FILE* fp, int32_t extra, int32_t* size_out) {
    struct stat info;
    if (fstat(fileno(fp), &info) != 0 || !S_ISREG(info.st_mode)) {
        return nullptr; // a directory opens fine on POSIX but is not a file
    }
    long start = std::ftell(fp);
    if (start < 0 || std::fseek(fp, 0, SEEK_END) != 0) {
        return nullptr;
    }
    long end = std::ftell(fp);
    if (std::fseek(fp, start, SEEK_SET) != 0 || end < 0 || end > long(INT32_MAX - extra)) {
        return nullptr;
    }
    int32_t size = int32_t(end);
    // At least one byte, so an empty file with no spare bytes is still a valid buffer.
    size_t buffer_size = size_t(size) + size_t(extra);
    auto* bytes = static_cast<unsigned char*>(std::malloc(buffer_size ? buffer_size : 1));
    if (!bytes) {
        return nullptr;
    }
    if (std::fread(bytes, 1, size_t(size), fp) != size_t(size)) {
        std::free(bytes);
        return nullptr;
    }
    *size_out = size;
    return bytes;
}

LOADED_FILE* append_loaded_file(const char* path, unsigned char* bytes, int32_t size,
                                int32_t extra) {
    auto* record = new LOADED_FILE{};
    size_t path_length = std::strlen(path);
    record->path = static_cast<char*>(std::malloc(path_length + 1));
    std::memcpy(record->path, path, path_length + 1);
    record->bytes = bytes;
    record->size = size;
    record->buffer_size = size + extra;
    record->read_position = 0;
    record->use_count = 1;
    if (loaded_files_tail) {
        loaded_files_tail->next = record;
    } else {
        loaded_files = record;
    }
    loaded_files_tail = record;
    ++loaded_file_count;
    return record;
}

// Directory of a stage file, keeping its trailing separator ("shaders/"), or
// "./" when the path has none. False when the path does not fit the buffer.
bool stage_directory(const char* path, char (&directory)[STAGE_DIRECTORY_CAPACITY]) {
    size_t length = std::strlen(path);
    if (length >= sizeof directory) {
        return false;
    }
    std::memcpy(directory, path, length + 1);
    for (size_t i = length; i-- > 0;) {
        if (directory[i] == '/' || directory[i] == '\\') {
            directory[i + 1] = '\0';
            return true;
        }
    }
    std::memcpy(directory, "./", 3);
    return true;
}

void append_define(std::string& text, const char* name, int value) {
    char line[128];
    // The value starts in column 63 whatever the name's length.
    std::snprintf(line, sizeof line, "#define %-54s%d\n", name, value);
    text += line;
}

} // namespace

LOADED_FILE* load_file_cached(const char* path) {
    if (!path) {
        return nullptr;
    }
    for (LOADED_FILE* record = loaded_files; record; record = record->next) {
        if (std::strcmp(record->path, path) == 0) {
            return record;
        }
    }
    FILE* fp = std::fopen(path, "rb");
    if (!fp) {
        return nullptr;
    }
    int32_t extra = loaded_file_extra_bytes > 0 ? loaded_file_extra_bytes : 0;
    int32_t size = 0;
    unsigned char* bytes = read_whole_file(fp, extra, &size);
    std::fclose(fp);
    if (!bytes) {
        return nullptr;
    }
    return append_loaded_file(path, bytes, size, extra);
}

namespace {

// GLSL ES 1.00 has no default float precision in fragment stages and none of
// the compatibility built-ins the stage files use. Each built-in becomes an
// attribute at the location bind_vertex_format feeds (gl_dialect.h), a
// varying, or, for the vertex colour GL 2.1 leaves at its default white, a
// constant. A uniform declared in both stages must have the same precision
// in both or the program does not link, so both stages make the same choice:
// highp where the fragment stage has it (the macro is defined in both
// stages), mediump everywhere otherwise.
void append_es_lines(std::string& text, GLenum stage_type) {
    text += "#ifdef GL_FRAGMENT_PRECISION_HIGH\nprecision highp float;\nprecision highp int;\n"
            "#else\nprecision mediump float;\nprecision mediump int;\n#endif\n";
    if (stage_type == GL_VERTEX_SHADER) {
        const char* const types[VERTEX_ATTRIBUTE_COUNT] = {"vec4", "vec3", "vec4", "vec4"};
        const char* const builtins[VERTEX_ATTRIBUTE_COUNT] = {
            "gl_Vertex", "gl_Normal", "gl_MultiTexCoord0", "gl_MultiTexCoord1"};
        for (GLuint a = 0; a < VERTEX_ATTRIBUTE_COUNT; ++a) {
            text += std::string("attribute ") + types[a] + " " + VERTEX_ATTRIBUTE_NAMES[a] +
                    ";\n#define " + builtins[a] + " " + VERTEX_ATTRIBUTE_NAMES[a] + "\n";
        }
        text += "varying vec4 vexa_FrontColor;\n#define gl_FrontColor vexa_FrontColor\n"
                "#define gl_Color vec4(1.0)\n";
    } else {
        text += "varying vec4 vexa_FrontColor;\n#define gl_Color vexa_FrontColor\n";
    }
}

} // namespace

void append_injected_header(std::string& text, GLenum stage_type) {
    static const char SEPARATOR[] = "// "
                                    "-------------------------------------------------------------"
                                    "-----------------------------------\n";
    text += SEPARATOR;
    text += "//                           Code injected dynamically by the engine\n";
    text += SEPARATOR;
    text += gl_dialect_es() ? "\n#version 100\n\n#define _WIN32\n\n"
                            : "\n#version 120\n\n#define _WIN32\n\n";
    append_define(text, "NUMERO_MAXIMO_INFLUENCIAS_POR_VERTICE", MAX_JOINT_INFLUENCES);
    append_define(text, "NUMERO_MAXIMO_JOINTS_POR_ARMATURE", MAX_JOINTS);
    text += "#define ACTIVAR_DIFFUSE\n#define ACTIVAR_SPECULAR\n#define ACTIVAR_TEXTURA\n\n\n";
    append_define(text, "LIGHT_TYPE_NONE", LIGHT_TYPE_NONE);
    append_define(text, "LIGHT_TYPE_DIRECTIONAL", LIGHT_TYPE_DIRECTIONAL);
    append_define(text, "LIGHT_TYPE_POINT", LIGHT_TYPE_POINT);
    append_define(text, "LIGHT_TYPE_SPOT", LIGHT_TYPE_SPOT);
    text += "\n";
    append_define(text, "MAX_LIGHTS", MAX_LIGHTS);
    text += "\n";
    append_define(text, "NUMERO_MAXIMO_TEXTURAS_POR_MATERIAL", MAX_MATERIAL_TEXTURES);
    append_define(text, "ANIMACION_DE_TEXTURA_ACTIVA", TEXTURE_ANIMATION_ACTIVE);
    if (gl_dialect_es()) {
        append_es_lines(text, stage_type);
    }
    text += "\n\n";
    text += SEPARATOR;
    text += "//                                                                            End of "
            "code injection\n";
    text += SEPARATOR;
    text += "\n";
}

int expand_includes(const SHADER_STAGE* stage, std::string& text) {
    const char* stage_path = stage && stage->file && stage->file->path ? stage->file->path : "";
    char directory[STAGE_DIRECTORY_CAPACITY];
    if (!stage_directory(stage_path, directory)) {
        return 0;
    }
    const size_t directory_length = std::strlen(directory);

    // Ends of the inserted regions that enclose the search position, innermost
    // last: their number is the nesting depth of the next directive.
    size_t open_ends[MAX_INCLUDE_DEPTH];
    int depth = 0;
    int expanded = 0;
    std::string full_path;

    size_t at = text.find(INCLUDE_KEYWORD);
    while (at != std::string::npos) {
        size_t open = at + INCLUDE_KEYWORD_LENGTH;
        while (open < text.size() && text[open] == ' ') {
            ++open;
        }
        if (open >= text.size()) {
            break;
        }
        char closing;
        if (text[open] == '<') {
            closing = '>';
        } else if (text[open] == '"') {
            closing = '"';
        } else {
            break;
        }
        size_t close = text.find(closing, open + 1);
        if (close == std::string::npos) {
            break;
        }
        size_t name_length = close - open - 1;
        if (name_length == 0 || name_length > size_t(MAX_INCLUDE_NAME) ||
            text.find('\0', open + 1) < close) {
            break; // no file can have this name
        }
        while (depth > 0 && open_ends[depth - 1] <= at) {
            --depth;
        }
        // A file that includes itself, directly or through others, ends here.
        if (depth >= MAX_INCLUDE_DEPTH || expanded >= MAX_INCLUDE_EXPANSIONS) {
            break;
        }
        full_path.assign(directory, directory_length);
        full_path.append(text, open + 1, name_length);
        const LOADED_FILE* file = load_file_cached(full_path.c_str());
        if (!file) {
            break;
        }
        size_t erased = close + 1 - at;
        size_t inserted = size_t(file->size);
        if (text.size() - erased + inserted > MAX_STAGE_TEXT) {
            break;
        }
        text.replace(at, erased, reinterpret_cast<const char*>(file->bytes), inserted);
        for (int i = 0; i < depth; ++i) {
            open_ends[i] =
                open_ends[i] >= at + erased ? open_ends[i] - erased + inserted : at + inserted;
        }
        open_ends[depth++] = at + inserted;
        ++expanded;
        // Resume at the inserted text, so its own directives are expanded too.
        at = text.find(INCLUDE_KEYWORD, at);
    }
    return expanded;
}

bool assemble_stage_text(const char* path, SHADER_STAGE* stage) {
    if (!stage) {
        return false;
    }
    loaded_file_extra_bytes = 1;
    LOADED_FILE* file = load_file_cached(path);
    if (!file) {
        std::fprintf(stderr, "vexa: cannot read shader file \"%s\"\n", path ? path : "");
        return false;
    }
    stage->file = file;
    if (file->buffer_size > file->size) {
        file->bytes[file->size] = 0;
    }

    // The stage text is the header, then the file as a C string: an embedded
    // NUL ends what is taken from the file.
    const char* content = reinterpret_cast<const char*>(file->bytes);
    const void* nul = std::memchr(content, 0, size_t(file->size));
    size_t content_length =
        nul ? size_t(static_cast<const char*>(nul) - content) : size_t(file->size);
    stage->text.clear();
    append_injected_header(stage->text, stage->type);
    stage->text.append(content, content_length);
    expand_includes(stage, stage->text);
    return true;
}

bool load_stage_source(const char* path, SHADER_STAGE* stage) {
    if (!assemble_stage_text(path, stage)) {
        return false;
    }
    stage->shader = glCreateShader(stage->type);
    gl_check();
    if (stage->shader == 0) {
        return false;
    }
    const GLchar* source = stage->text.c_str();
    glShaderSource(stage->shader, 1, &source, nullptr);
    gl_check();
    return true;
}

void refresh_file_cache() {
    for (LOADED_FILE* record = loaded_files; record; record = record->next) {
        FILE* fp = std::fopen(record->path, "rb");
        if (!fp) {
            continue; // gone or mid-save: the last content read stands
        }
        const int32_t extra = record->buffer_size - record->size;
        int32_t size = 0;
        unsigned char* bytes = read_whole_file(fp, extra, &size);
        std::fclose(fp);
        if (!bytes) {
            continue;
        }
        std::free(record->bytes);
        record->bytes = bytes;
        record->size = size;
        record->buffer_size = size + extra;
        record->read_position = 0;
    }
}

void reset_file_cache() {
    LOADED_FILE* record = loaded_files;
    while (record) {
        LOADED_FILE* next = record->next;
        std::free(record->path);
        std::free(record->bytes);
        delete record;
        record = next;
    }
    loaded_files = nullptr;
    loaded_files_tail = nullptr;
    loaded_file_count = 0;
    loaded_file_extra_bytes = 0;
}
