// libFuzzer target for "#include" expansion. Each input becomes a small file
// tree in a private temporary folder (files may include themselves and each
// other); the top file is expanded and the result checked against the
// expansion bounds. Relies on shader/source.cpp and the recording GL stand-in.
#include "shader/source.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The tree: input chunks separated by 0xFF fill these files in order.
const char* const FILE_NAMES[] = {"top.glsl", "a.glsl", "sub/b.glsl", "c.glsl"};
constexpr int FILE_COUNT = 4;
constexpr unsigned char CHUNK_SEPARATOR = 0xFF;

std::string tree_directory;

// Leaves /tmp as it was found when the fuzzer exits normally.
void remove_tree() {
    for (const char* name : FILE_NAMES) {
        std::remove((tree_directory + "/" + name).c_str());
    }
    rmdir((tree_directory + "/sub").c_str());
    rmdir(tree_directory.c_str());
}

const std::string& tree_root() {
    static const std::string root = [] {
        char pattern[] = "/tmp/vexa_fuzz_includes_XXXXXX";
        if (!mkdtemp(pattern)) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::string dir = pattern;
        tree_directory = dir;
        std::string sub = dir + "/sub";
        if (mkdir(sub.c_str(), 0700) != 0) {
            std::perror("mkdir");
            std::abort();
        }
        std::atexit(remove_tree);
        return dir + "/";
    }();
    return root;
}

// Bytes 1-4 stand for a directive naming file 0-3 with angle brackets,
// bytes 5-8 the same with double quotes, so the fuzzer reaches self- and
// mutual inclusion quickly; every other byte is taken as it is.
std::string decode_chunk(const uint8_t* data, size_t size) {
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = data[i];
        if (b >= 1 && b <= 4) {
            out += std::string("#include <") + FILE_NAMES[b - 1] + ">";
        } else if (b >= 5 && b <= 8) {
            out += std::string("#include \"") + FILE_NAMES[b - 5] + "\"";
        } else {
            out += char(b);
        }
    }
    return out;
}

void write_file(const std::string& path, const std::string& bytes) {
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) {
        std::abort();
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), fp) != bytes.size()) {
        std::abort();
    }
    std::fclose(fp);
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_includes: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& root = tree_root();
    size_t largest_file = 0;
    size_t start = 0;
    for (int f = 0; f < FILE_COUNT; ++f) {
        std::string path = root + FILE_NAMES[f];
        if (start > size) {
            std::remove(path.c_str()); // fewer chunks than files: the rest are missing
            continue;
        }
        size_t end = start;
        while (end < size && data[end] != CHUNK_SEPARATOR) {
            ++end;
        }
        std::string content = decode_chunk(data + start, end - start);
        largest_file = content.size() > largest_file ? content.size() : largest_file;
        write_file(path, content);
        start = end + 1;
    }

    // Every run starts from an empty cache: the files changed on disk.
    reset_file_cache();
    SHADER_STAGE stage;
    stage.file = load_file_cached((root + FILE_NAMES[0]).c_str());
    check(stage.file != nullptr, "top file not loaded");
    const std::string original(reinterpret_cast<const char*>(stage.file->bytes),
                               size_t(stage.file->size));
    std::string text = original;
    int expanded = expand_includes(&stage, text);

    check(expanded >= 0 && expanded <= MAX_INCLUDE_EXPANSIONS, "expansion count out of bounds");
    check(text.size() <= MAX_STAGE_TEXT || expanded == 0, "stage text over its bound");
    // Names resolve inside the tree (or to nothing), so each expansion adds
    // at most one tree file; larger growth means bytes came from elsewhere.
    bool names_in_tree = original.find("..") == std::string::npos;
    check(!names_in_tree || text.size() <= original.size() + size_t(expanded) * largest_file,
          "text grew more than its expansions allow");
    check(expanded > 0 || text == original, "text changed without an expansion");
    return 0;
}
