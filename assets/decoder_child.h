// What the platforms that run a decoder program (Linux, Windows) share on the
// caller's side: how a wait for the answer ended, and the line each end
// gives (decoder_child.cpp).
#pragma once

#include "assets/decoded_model.h"
#include "assets/model_import.h"

#include <cstdint>
#include <string>

// How waiting for the decoder's answer ended.
enum class ENDED {
    ANSWERED,        // the decoder wrote its answer and closed its output
    GONE,            // the decoder (or its server) went away without one
    ABANDONED,       // options.keep_waiting said to stop
    TIME,            // past the wall-clock limit
    CPU,             // past the CPU-time limit (where it is watched apart)
    MEMORY,          // past the memory limit
    TOO_LONG_ANSWER, // more than answer_limit, or than it announced
    NO_ROOM,         // no memory here to hold the answer
};

// The most bytes an answer may have: the answer limit, and never more than
// the decoder itself may use.
uint64_t answer_limit(const IMPORT_OPTIONS& options);

// A limit in seconds as the outcome lines say it ("10 s").
std::string seconds_words(double seconds);

// The outcome of an import that ended without the decoder's answer.
DECODE_STATUS unanswered(ENDED ended, const IMPORT_OPTIONS& options, std::string* reason);
