// Shader source assembly: owns the process-wide cache of whole files read
// from disk (the LOADED_FILE list), the "#include" expansion and the header
// injected in front of every stage. Relies on the C stdio file functions and,
// for submitting a stage, on a current GL context (gfx/gl.h).
#pragma once

#include "gfx/gl.h"

#include <cstdint>
#include <string>

// One file read whole into memory. Records are appended in creation order
// and live until the process ends (tests empty the list with
// reset_file_cache).
struct LOADED_FILE {
    char* path = nullptr;           // owned copy, the cache key, byte-exact
    unsigned char* bytes = nullptr; // owned, buffer_size bytes
    int32_t size = 0;               // bytes of content
    int32_t buffer_size = 0;        // size plus the spare bytes in force at read time
    int32_t read_position = 0;
    int32_t use_count = 0;
    LOADED_FILE* next = nullptr;
};

// One stage of a shader program; the program record owns it.
struct SHADER_STAGE {
    LOADED_FILE* file = nullptr; // null until loaded
    std::string text;            // assembled source, kept after compilation
    GLenum type = 0;             // GL_VERTEX_SHADER or GL_FRAGMENT_SHADER
    GLuint shader = 0;           // GL shader object, 0 = none
    bool shader_deleted = false; // a failed compile deleted it; the name is kept
    SHADER_STAGE* next = nullptr;
};

// The stage file's directory is formed in a buffer of this size; a stage path
// of STAGE_DIRECTORY_CAPACITY characters or more gets no include expansion.
constexpr int STAGE_DIRECTORY_CAPACITY = 2048;
// Longest include name between the delimiters.
constexpr int MAX_INCLUDE_NAME = 2046;
// Bounds that make self- and mutual inclusion terminate: total directives
// expanded per stage, files open inside one another, and the stage text size.
constexpr int MAX_INCLUDE_EXPANSIONS = 256;
constexpr int MAX_INCLUDE_DEPTH = 16;
constexpr size_t MAX_STAGE_TEXT = size_t(16) << 20;
// Length of the text append_injected_header writes.
constexpr size_t INJECTED_HEADER_LENGTH = 1257;

extern LOADED_FILE* loaded_files;       // head of the cache list
extern int32_t loaded_file_count;       // records in the list
extern int32_t loaded_file_extra_bytes; // spare bytes allocated after each file's content

// The cached record for path (compared byte for byte), reading the file on
// the first request; null when it cannot be read.
LOADED_FILE* load_file_cached(const char* path);

// Appends the 30 lines every stage starts with (version line and the
// engine's limits as #defines). In the ES dialect the version is 100 and
// lines for the stage of stage_type follow the limits: precision statements
// and the GL 2.1 built-ins the stage files use, mapped to attributes and
// varyings.
void append_injected_header(std::string& text, GLenum stage_type = GL_VERTEX_SHADER);

// Replaces "#include <name>" and "#include \"name\"" directives in text,
// names resolved against the directory of the stage's own file. Stops at the
// first directive it cannot expand, leaving it and the rest of the text as
// they are. Returns the number of directives expanded.
int expand_includes(const SHADER_STAGE* stage, std::string& text);

// Builds the stage's text from the file at path (header, file, includes)
// without touching GL. False when the file cannot be read (reported on
// stderr).
bool assemble_stage_text(const char* path, SHADER_STAGE* stage);

// Builds the stage's text from the file at path (header, file, includes),
// creates the stage's GL shader object and hands it the text. False when the
// file cannot be read (reported on stderr) or no shader object was created.
bool load_stage_source(const char* path, SHADER_STAGE* stage);

// Reads every cached file again from disk, in place (records and the
// pointers to them stay valid); a file that cannot be read now keeps the
// content last read. Called before rebuilding programs whose files changed.
void refresh_file_cache();

// Frees every cached file and empties the list (start-of-process state).
void reset_file_cache();
