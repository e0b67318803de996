// vexa-loader-check: decodes each model named on the command line through
// the platform's decoder (the decoder process on Linux and Windows, the
// page's own process in the browser) and prints one line per file: what
// loaded (counts) or the refusal. scripts/test-loader-cross.sh compares the
// lines of the browser build under node with the Linux build's.
#include "assets/decoder_files.h"
#include "assets/decoder_process.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    const IMPORT_OPTIONS options; // the defaults every program starts with
    for (int i = 1; i < argc; ++i) {
        DECODER_FILES files;
        DECODED_MODEL model;
        std::string reason;
        DECODE_STATUS status = DECODE_REFUSED;
        if (open_decoder_files(argv[i], true, &files, &reason)) {
            status = decode_in_child(&files, nullptr, 0, nullptr, options, &model, &reason);
            close_decoder_files(&files);
        }
        if (status == DECODE_LOADED) {
            size_t vertices = 0;
            for (const DECODED_PART& part : model.parts) {
                vertices += part.vertices.size();
            }
            std::printf("%s: %zu nodes, %zu parts, %zu vertices, %zu materials, %zu clips\n",
                        argv[i], model.nodes.size(), model.parts.size(), vertices,
                        model.materials.size(), model.clips.size());
            // A neighbour that could not be read shows here.
            for (const std::string& warning : model.warnings) {
                std::printf("%s: warning: %s\n", argv[i], warning.c_str());
            }
        } else {
            std::printf("%s: %s%s\n", argv[i],
                        status == DECODE_OUT_OF_MEMORY ? "out of memory " : "", reason.c_str());
        }
    }
    return 0;
}
