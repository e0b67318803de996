// The caller's side of a decode in the decoder program, common to the
// platforms that run one (Linux, Windows): the platform's run_decoder
// collects the answer's bytes, and they are read and checked here.
#include "assets/decoder_child.h"

#include "assets/decoded_model.h"
#include "assets/decoder_process.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

// Reads a collected answer with read (decoded_model_read or
// decoded_picture_read); a damaged answer, or one this process has no room
// to unpack, is a refusal and leaves *out empty.
template <class RESULT, class READ>
DECODE_STATUS unpack_answer(const std::vector<uint8_t>& answer, RESULT* out, std::string* reason,
                            READ read) {
    DECODE_STATUS decoded = DECODE_REFUSED;
    try {
        if (!read(answer.data(), answer.size(), &decoded, out, reason)) {
            *out = RESULT{};
            *reason = "the decoder's answer is damaged";
            return DECODE_REFUSED;
        }
    } catch (const std::bad_alloc&) {
        *out = RESULT{};
        *reason = "not enough memory for the decoder's answer";
        return DECODE_REFUSED;
    }
    return decoded;
}

} // namespace

uint64_t answer_limit(const IMPORT_OPTIONS& options) {
    return std::min(options.answer_limit_bytes, options.memory_limit_bytes);
}

std::string seconds_words(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", seconds);
    return text;
}

DECODE_STATUS unanswered(ENDED ended, const IMPORT_OPTIONS& options, std::string* reason) {
    switch (ended) {
    case ENDED::ABANDONED:
        reason->clear();
        return DECODE_REFUSED;
    case ENDED::MEMORY:
        return DECODE_OUT_OF_MEMORY;
    case ENDED::TIME:
        *reason = "the decoder took longer than " + seconds_words(options.seconds_limit);
        return DECODE_REFUSED;
    case ENDED::CPU:
        *reason =
            "the decoder used up its " + seconds_words(options.seconds_limit) + " of CPU time";
        return DECODE_REFUSED;
    case ENDED::TOO_LONG_ANSWER:
        *reason = "the decoder's answer is too large (over " +
                  std::to_string(answer_limit(options) >> 20) + " MB, or more than it announced)";
        return DECODE_REFUSED;
    case ENDED::NO_ROOM:
        *reason = "not enough memory for the decoder's answer";
        return DECODE_REFUSED;
    case ENDED::ANSWERED:
    case ENDED::GONE:
        break;
    }
    *reason = "the decoder failed";
    return DECODE_REFUSED;
}

DECODE_STATUS decode_in_child(const DECODER_FILES* files, const void* data, size_t size,
                              const char* hint, const IMPORT_OPTIONS& options, DECODED_MODEL* out,
                              std::string* reason) {
    std::vector<uint8_t> answer;
    const DECODE_STATUS ran =
        run_decoder(DECODE_KIND_MODEL, files, data, size, hint, options, &answer, reason);
    return ran == DECODE_LOADED ? unpack_answer(answer, out, reason, decoded_model_read) : ran;
}

DECODE_STATUS decode_picture_in_child(const DECODER_FILES* files, const void* data, size_t size,
                                      const char* name, const IMPORT_OPTIONS& options, PICTURE* out,
                                      std::string* reason) {
    // Only the name's extension tells the decoder anything (TGA has no
    // signature), and a short hint keeps the request within its size.
    std::string hint = name ? name : "";
    const size_t dot = hint.rfind('.');
    hint = dot == std::string::npos || hint.size() - dot > 16 ? "picture"
                                                              : "picture" + hint.substr(dot);
    std::vector<uint8_t> answer;
    const DECODE_STATUS ran =
        run_decoder(DECODE_KIND_PICTURE, files, data, size, hint.c_str(), options, &answer, reason);
    return ran == DECODE_LOADED ? unpack_answer(answer, out, reason, decoded_picture_read) : ran;
}
