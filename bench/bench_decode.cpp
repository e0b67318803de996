// The price of decoding a model file away from the program, per decode,
// without GL: Assimp in the calling process, in a child of the decoder
// server with only its limits, and in a child locked in its sandbox (no new
// privileges, Landlock, the system-call filter). Argument 0 is the model
// (0: glTF2/BoxTextured, 12 triangles and a picture, the fixed cost;
// 1: glTF2/2CylinderEngine), argument 1 the way (0 in-process, 1 isolated,
// 2 sandboxed). The lock alone: a forked child that ends at once, with
// (argument 1) and without (0) locking itself first, the filter prepared
// beforehand as the server prepares it; the difference is what
// the lock adds to every decode, apart from the scheduling noise of a whole
// decode. Built as its own program (vexa_bench_decode): it needs the
// importer and the decoder program beside it.
#include "assets/decoder_files.h"
#include "assets/decoder_process.h"
#include "assets/decoder_sandbox.h"
#include "assets/model_decode.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

const char* const MODELS[] = {
    "/usr/share/assimp/models/glTF2/BoxTextured-glTF/BoxTextured.gltf",
    "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb"};

void decode(benchmark::State& state) {
    DECODER_FILES files;
    std::string reason;
    if (!open_decoder_files(MODELS[state.range(0)], true, &files, &reason)) {
        state.SkipWithError(reason.c_str());
        return;
    }
    IMPORT_OPTIONS options;
    options.decoder = VEXA_BENCH_DECODER;
    options.sandbox = state.range(1) == 1 ? DECODER_SANDBOX_OFF : DECODER_SANDBOX_REQUIRED;
    options.decodes_per_server = 1 << 30; // the server's restarts are measured apart
    for (auto _ : state) {
        DECODED_MODEL decoded;
        const DECODE_STATUS status =
            state.range(1) == 0
                ? decode_model(&files, nullptr, 0, nullptr, &decoded, &reason)
                : decode_in_child(&files, nullptr, 0, nullptr, options, &decoded, &reason);
        if (status != DECODE_LOADED) {
            state.SkipWithError(reason.c_str());
            break;
        }
        benchmark::DoNotOptimize(decoded.parts.data());
    }
    close_decoder_files(&files);
}
BENCHMARK(decode)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->ArgNames({"model", "way"})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

double children_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

void lock(benchmark::State& state) {
    DECODER_FILES files;
    std::string reason;
    if (!open_decoder_files(MODELS[0], true, &files, &reason)) {
        state.SkipWithError(reason.c_str());
        return;
    }
    decoder_lock_prepare(); // as the decoder server does before its first fork
    // The child's own CPU time is the figure that stays meaningful on a
    // loaded machine, where the wall time is mostly waiting to be scheduled.
    const double before = children_cpu_seconds();
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            const bool locked = state.range(0) == 0 || decoder_lock(files.folder) != 0;
            std::_Exit(locked ? 0 : 1);
        }
        int status = 1;
        waitpid(child, &status, 0);
        if (status != 0) {
            state.SkipWithError("the child could not lock itself");
            break;
        }
    }
    state.counters["child_cpu_us"] =
        benchmark::Counter((children_cpu_seconds() - before) * 1e6 / double(state.iterations()));
    close_decoder_files(&files);
}
BENCHMARK(lock)->Arg(0)->Arg(1)->ArgName("locked")->Unit(benchmark::kMicrosecond);

} // namespace
