// Owns the global fractal_demo state, the frame step, the scalar reference
// picture and the choice between it and the SIMD band kernels (shared over
// demo/worker_pool). Every stored value is single precision and every
// expression is evaluated in double: exactly these roundings fix the bytes.
#include "demo/fractal.h"

#include "demo/fractal_kernels.h"
#include "scene/worker_pool.h"

#include <atomic>
#include <cfenv>
#include <cmath>
#include <cstddef>

namespace {

// The animation steps are single-precision constants used in double arithmetic.
constexpr double PHASE_STEP = static_cast<double>(0.01f);
constexpr double DRIFT_STEP = static_cast<double>(0.001f);
constexpr double REAL_SPAN_END = static_cast<double>(0.7f);

struct ROW_JOB {
    FRACTAL_ROW_ARGS args;
    FRACTAL_BAND_KERNEL kernel = nullptr;
    double i0 = 0.0;
    double dy = 0.0;
    uint32_t* pixels = nullptr;
    int height = 0;
    int bands = 0;
    // Bands, not rows, are the unit of sharing; the counters get a cache line
    // of their own so the threads' claims do not bounce the job's other fields.
    alignas(64) std::atomic<int> next_band{0};
    std::atomic<int> bands_done{0}; // lets the owner see completion without waiting
};

// The picture's rounding is only reproducible in round-to-nearest without
// flush-to-zero, so the calling thread's environment is set for the duration.
struct DEFAULT_FP_ENV {
    std::fenv_t saved;
    DEFAULT_FP_ENV() {
        std::fegetenv(&saved);
        std::fesetenv(FE_DFL_ENV);
    }
    ~DEFAULT_FP_ENV() { std::fesetenv(&saved); }
    DEFAULT_FP_ENV(const DEFAULT_FP_ENV&) = delete;
    DEFAULT_FP_ENV& operator=(const DEFAULT_FP_ENV&) = delete;
};

// Low 8 bits (two's complement) of v truncated toward zero. A plain cast to
// int is undefined once v leaves int's range; from 2^62 on every double is a
// multiple of 1024, so its low byte is 0, and NaN or infinity count as 0 too.
uint32_t low_byte_of_truncation(double v) {
    if (!(std::fabs(v) < 0x1p62)) {
        return 0;
    }
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(v)) & 0xFFu);
}

float column_real(const FRACTAL_FRAME& frame, int column) {
    return static_cast<float>(static_cast<double>(frame.r0) +
                              static_cast<double>(column) * static_cast<double>(frame.dx));
}

float row_imaginary(double i0, double dy, int row) {
    return static_cast<float>(i0 + static_cast<double>(row) * dy);
}

// The iteration count of one point, step by step as the picture defines it.
int escape_count(float cx, float cy) {
    float x = 0.0f;
    float y = 0.0f;
    uint8_t k = 0;
    for (;;) {
        float xx = static_cast<float>(static_cast<double>(x) * static_cast<double>(x));
        float yy = static_cast<float>(static_cast<double>(y) * static_cast<double>(y));
        if (static_cast<float>(static_cast<double>(xx) + static_cast<double>(yy)) >= 4.0f) {
            break;
        }
        k = static_cast<uint8_t>(k + 1);
        float new_y = static_cast<float>(2.0 * static_cast<double>(x) * static_cast<double>(y) +
                                         static_cast<double>(cy));
        float new_x = static_cast<float>(static_cast<double>(xx) - static_cast<double>(yy) +
                                         static_cast<double>(cx));
        x = new_x;
        y = new_y;
        if (k >= FRACTAL_MAX_ITERATIONS) {
            break;
        }
    }
    return k;
}

void render_scalar(const FRACTAL_FRAME& frame, uint32_t* pixels, int width, int height) {
    for (int i = 0; i < height; ++i) {
        float cy = row_imaginary(frame.i0, frame.dy, i);
        uint32_t* row = pixels + static_cast<size_t>(i) * static_cast<size_t>(width);
        for (int j = 0; j < width; ++j) {
            row[j] = fractal_texel(escape_count(column_real(frame, j), cy), frame.phase,
                                   frame.colour_factor);
        }
    }
}

// Bands of rows are handed out one at a time: their cost varies tenfold
// between the escaping border and the set's interior, so a fixed split would
// idle threads. A band is a few microseconds of work, so claiming one costs
// little, and the last band finishes soon after the other thread's.
void render_rows(void* context, int) {
    ROW_JOB& job = *static_cast<ROW_JOB*>(context);
    const size_t width = static_cast<size_t>(job.args.width);
    for (int band = job.next_band.fetch_add(1, std::memory_order_relaxed);
         band * FRACTAL_BAND_ROWS < job.height;
         band = job.next_band.fetch_add(1, std::memory_order_relaxed)) {
        int first_row = band * FRACTAL_BAND_ROWS;
        int rows =
            job.height - first_row < FRACTAL_BAND_ROWS ? job.height - first_row : FRACTAL_BAND_ROWS;
        float cy[FRACTAL_BAND_ROWS];
        for (int i = 0; i < rows; ++i) {
            cy[i] = row_imaginary(job.i0, job.dy, first_row + i);
        }
        job.kernel(job.args, cy, rows, job.pixels + static_cast<size_t>(first_row) * width);
        job.bands_done.fetch_add(1, std::memory_order_release);
    }
}

#if defined(__x86_64__)
FRACTAL_BAND_KERNEL kernel_for(FRACTAL_ISA isa) {
    switch (isa) {
    case FRACTAL_ISA_AVX512:
        return fractal_band_avx512;
    case FRACTAL_ISA_AVX2:
        return fractal_band_avx2;
    default:
        return fractal_band_sse2;
    }
}
#elif defined(__wasm_simd128__)
// WebAssembly with SIMD128: the SSE2 kernel, built through the compiler's
// SSE2 headers, which map every operation it uses onto a 128-bit SIMD
// instruction with the same IEEE rounding (same bytes as the reference).
FRACTAL_BAND_KERNEL kernel_for(FRACTAL_ISA) {
    return fractal_band_sse2;
}
#else
// Without the x86 kernels the bands are computed point by point, exactly as
// the reference does (same bytes), still shared over the worker pool.
void band_portable(const FRACTAL_ROW_ARGS& args, const float* cy, int rows, uint32_t* out) {
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < args.width; ++j) {
            const float cx = static_cast<float>(args.r0 + static_cast<double>(j) * args.dx);
            *out++ = args.texels[escape_count(cx, cy[i])];
        }
    }
}

FRACTAL_BAND_KERNEL kernel_for(FRACTAL_ISA) {
    return band_portable;
}
#endif

} // namespace

FRACTAL_DEMO fractal_demo;

void fractal_demo_reset() {
    fractal_demo = FRACTAL_DEMO{};
}

FRACTAL_FRAME fractal_frame_advance(FRACTAL_DEMO& demo, bool has_picture, int width, int height) {
    FRACTAL_FRAME frame;

    // Colour factor from the old phase; |s1 * 255| <= 255, so the cast is exact.
    float s1 = static_cast<float>(std::sin(static_cast<double>(demo.phase)));
    int32_t scaled = static_cast<int32_t>(static_cast<double>(s1) * 255.0);
    demo.colour_factor = static_cast<int32_t>(static_cast<uint32_t>(scaled) & 0xFFu);
    demo.phase = static_cast<float>(static_cast<double>(demo.phase) + PHASE_STEP);
    frame.phase = demo.phase;
    frame.colour_factor = demo.colour_factor;
    if (!has_picture) {
        return frame;
    }

    // The view, from the new phase and the drift before its advance.
    double s2 = static_cast<float>(std::sin(static_cast<double>(demo.phase)));
    double t = demo.drift;
    frame.r0 = static_cast<float>(t - 2.0 - s2);
    frame.r1 = static_cast<float>(REAL_SPAN_END - t - s2);
    frame.i0 = static_cast<float>(t - 1.0);
    frame.i1 = static_cast<float>(1.0 - t);
    demo.drift = static_cast<float>(t + DRIFT_STEP);

    // A one-pixel-wide (or -high) picture has no step; dividing by zero
    // would turn the only column's position into NaN.
    double real_span = static_cast<float>(static_cast<double>(frame.r1) - frame.r0);
    double imaginary_span = static_cast<float>(static_cast<double>(frame.i1) - frame.i0);
    frame.dx = width > 1 ? static_cast<float>(real_span / static_cast<double>(width - 1)) : 0.0f;
    frame.dy =
        height > 1 ? static_cast<float>(imaginary_span / static_cast<double>(height - 1)) : 0.0f;
    return frame;
}

uint32_t fractal_texel(int k, float phase, int32_t colour_factor) {
    double kd = static_cast<double>(k);
    double p = static_cast<double>(phase);
    uint32_t red = low_byte_of_truncation(kd / p);
    uint32_t green = low_byte_of_truncation(p * kd);
    uint32_t blue = low_byte_of_truncation(kd * static_cast<double>(colour_factor));
    return 0xFF000000u | blue << 16 | green << 8 | red;
}

float fractal_column_real(const FRACTAL_FRAME& frame, int column) {
    return column_real(frame, column);
}

float fractal_row_imaginary(const FRACTAL_FRAME& frame, int row) {
    return row_imaginary(frame.i0, frame.dy, row);
}

int fractal_escape_count(float cx, float cy) {
    return escape_count(cx, cy);
}

bool fractal_isa_supported(FRACTAL_ISA isa) {
#if defined(__x86_64__)
    __builtin_cpu_init();
    switch (isa) {
    case FRACTAL_ISA_AUTO:
    case FRACTAL_ISA_SSE2:
        return __builtin_cpu_supports("sse2");
    case FRACTAL_ISA_AVX2:
        return __builtin_cpu_supports("avx2");
    case FRACTAL_ISA_AVX512:
        // The kernel's float y step uses fma (every AVX-512 CPU so far has it).
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("fma");
    }
#elif defined(__wasm_simd128__)
    if (isa == FRACTAL_ISA_AUTO || isa == FRACTAL_ISA_SSE2) {
        return true;
    }
#else
    // Only the portable band kernel exists: the automatic level is it.
    if (isa == FRACTAL_ISA_AUTO) {
        return true;
    }
#endif
    return false;
}

FRACTAL_ISA fractal_best_isa() {
    if (fractal_isa_supported(FRACTAL_ISA_AVX512)) {
        return FRACTAL_ISA_AVX512;
    }
    if (fractal_isa_supported(FRACTAL_ISA_AVX2)) {
        return FRACTAL_ISA_AVX2;
    }
    return FRACTAL_ISA_SSE2;
}

namespace {

// A fast-path job: the per-k texel table and the row job that points at it.
struct PICTURE_JOB {
    uint32_t texels[FRACTAL_MAX_ITERATIONS + 1];
    ROW_JOB rows;
};

void prepare_job(PICTURE_JOB& job, const FRACTAL_FRAME& frame, uint32_t* pixels, int width,
                 int height, FRACTAL_ISA isa) {
    for (int k = 0; k <= FRACTAL_MAX_ITERATIONS; ++k) {
        job.texels[k] = fractal_texel(k, frame.phase, frame.colour_factor);
    }
    job.rows.args.r0 = frame.r0;
    job.rows.args.dx = frame.dx;
    job.rows.args.width = width;
    job.rows.args.texels = job.texels;
    job.rows.kernel = kernel_for(isa);
    job.rows.i0 = frame.i0;
    job.rows.dy = frame.dy;
    job.rows.pixels = pixels;
    job.rows.height = height;
    job.rows.bands = (height + FRACTAL_BAND_ROWS - 1) / FRACTAL_BAND_ROWS;
    job.rows.next_band.store(0, std::memory_order_relaxed);
    job.rows.bands_done.store(0, std::memory_order_relaxed);
}

// The picture being computed in the background, if any. Static, because the
// workers read it after fractal_render_start has returned.
PICTURE_JOB background_job;
bool background_running = false;

// Resolves the automatic level; false when a forced level cannot run here.
bool usable_isa(FRACTAL_ISA& isa) {
    if (isa == FRACTAL_ISA_AUTO) {
        isa = fractal_best_isa();
        return true;
    }
    return fractal_isa_supported(isa);
}

} // namespace

bool fractal_render(const FRACTAL_FRAME& frame, uint32_t* pixels, int width, int height,
                    FRACTAL_PATH path, FRACTAL_ISA isa) {
    if (pixels == nullptr || width <= 0 || height <= 0 || !usable_isa(isa)) {
        return false;
    }
    // The pool takes one job at a time.
    fractal_render_finish();
    DEFAULT_FP_ENV fp_env;

    if (path == FRACTAL_SCALAR) {
        render_scalar(frame, pixels, width, height);
        return true;
    }

    PICTURE_JOB job;
    prepare_job(job, frame, pixels, width, height, isa);
    if (path == FRACTAL_FAST_ALL_THREADS) {
        worker_pool_run(render_rows, &job.rows);
    } else {
        render_rows(&job.rows, 0);
    }
    return true;
}

bool fractal_render_start(const FRACTAL_FRAME& frame, uint32_t* pixels, int width, int height,
                          FRACTAL_ISA isa) {
    if (pixels == nullptr || width <= 0 || height <= 0 || !usable_isa(isa)) {
        return false;
    }
    fractal_render_finish();
    prepare_job(background_job, frame, pixels, width, height, isa);
    worker_pool_start(render_rows, &background_job.rows);
    background_running = true;
    return true;
}

void fractal_render_finish() {
    if (!background_running) {
        return;
    }
    // The calling thread takes the bands the workers have not claimed yet.
    DEFAULT_FP_ENV fp_env;
    worker_pool_join();
    background_running = false;
}

bool fractal_render_done() {
    return !background_running || background_job.rows.bands_done.load(std::memory_order_acquire) ==
                                      background_job.rows.bands;
}
