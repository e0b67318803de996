// vexa-decode: the model decoder program the importer starts for every file
// (see decoder_process.cpp). Not for people: its request is the command line
// the importer writes, its answer the bytes of decoded_model.h on standard
// output.
//
//   vexa-decode --memory BYTES --seconds S [--sandbox MODE] [--hint EXT]
//               [--picture] [--folder [HANDLE]] (--name NAME | -)
//   vexa-decode --serve
//
// The file is always standard input, opened by the caller: NAME is its
// path below the folder on descriptor 3 (--folder; on Windows the inherited
// handle HANDLE; without it no other file is read), "-" a file held in memory. --picture decodes a
// picture instead of a model (its name, or --hint for one in memory, tells the formats known by
// their name). --serve takes requests on the socket that is its standard input and decodes each in
// a child of its own. The tests build this program once more with VEXA_DECODER_PROBE, which adds
// their probe of the lock (tests/support/decoder_probe.cpp).
#include "assets/decoder_process.h"
#include "assets/decoder_sandbox.h"

#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define VEXA_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXA_LEAK_CHECKER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define VEXA_THREAD_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VEXA_THREAD_CHECKER 1
#endif
#endif

// A fault inside the decoder (Assimp on a hostile file) must reach the
// importer as the signal it is, "the decoder crashed (SIGSEGV)", in a
// sanitizer build too: the sanitizer's own handlers would turn it into a
// report and an exit status (1, or 66 for the thread sanitizer). Options in
// ASAN_OPTIONS or TSAN_OPTIONS still win.
#define VEXA_FATAL_SIGNALS_ALONE                                                                   \
    "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0"
#ifdef VEXA_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>

extern "C" const char* __asan_default_options() {
    return VEXA_FATAL_SIGNALS_ALONE;
}
#endif
#ifdef VEXA_THREAD_CHECKER
extern "C" const char* __tsan_default_options() {
    return VEXA_FATAL_SIGNALS_ALONE;
}
#endif

#ifdef VEXA_DECODER_PROBE
void decoder_probe(const char* name);
#endif

int main(int argc, char** argv) {
    decoder_lock_function = decoder_lock;
    decoder_lock_prepare_function = decoder_lock_prepare;
#ifdef VEXA_DECODER_PROBE
    decoder_after_lock = decoder_probe;
#endif
#ifdef VEXA_LEAK_CHECKER
    // The process ends right after one decode: what Assimp's readers leak
    // when they give up dies with it and is not worth a report.
    __lsan_disable();
#endif
    if (argc == 2 && !std::strcmp(argv[1], "--serve")) {
        std::_Exit(decoder_serve());
    }
    uint64_t memory = uint64_t(2) << 30;
    double seconds = 30.0;
    const char* hint = nullptr;
    const char* model = nullptr;
    DECODE_KIND kind = DECODE_KIND_MODEL;
    bool has_folder = false;
    bool in_memory = false;
    long sandbox = DECODER_SANDBOX_OFFERED;
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--folder")) {
            has_folder = true;
            // Windows names the inherited handle on the folder here.
            if (has_value && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9') {
                decoder_folder_handle = std::strtoull(argv[++i], nullptr, 10);
            }
        } else if (!std::strcmp(argv[i], "--name") && has_value && !model && !in_memory) {
            model = argv[++i];
        } else if (!std::strcmp(argv[i], "--sandbox") && has_value) {
            sandbox = std::strtol(argv[++i], nullptr, 10);
        } else if (!std::strcmp(argv[i], "--memory") && has_value) {
            memory = std::strtoull(argv[++i], nullptr, 10);
        } else if (!std::strcmp(argv[i], "--seconds") && has_value) {
            seconds = std::strtod(argv[++i], nullptr);
        } else if (!std::strcmp(argv[i], "--hint") && has_value) {
            hint = argv[++i];
        } else if (!std::strcmp(argv[i], "--picture")) {
            kind = DECODE_KIND_PICTURE;
        } else if (!model && !in_memory && !std::strcmp(argv[i], "-")) {
            in_memory = true;
        } else {
            return 64;
        }
    }
    if (!(model || in_memory) || memory == 0 || !(seconds > 0.0) || (in_memory && has_folder) ||
        sandbox < DECODER_SANDBOX_OFFERED || sandbox > DECODER_SANDBOX_OFF) {
        return 64;
    }
    const int status =
        decoder_main(kind, model, has_folder, hint, memory, seconds, DECODER_SANDBOX(sandbox));
    // The answer is already written to the pipe (unbuffered). Leave without
    // the exit handlers: a hostile file can leave Assimp's heap damaged, and
    // walking it again (static destructors, the sanitizer build's leak scan)
    // would crash after a good answer or add lines to the importer's output.
    std::_Exit(status);
}
