// Running the model and picture decoder in a process of its own (see
// decoder_process.cpp for the choice of a helper program). Internal to assets/.
#pragma once

#include "assets/decoded_model.h"
#include "assets/model_import.h"

#include <cstddef>
#include <string>

// Decodes like decode_model (model_decode.h), but in the decoder program,
// limited by options. A crash, a limit or a timeout comes back as
// DECODE_REFUSED with the reason ("the decoder crashed (SIGSEGV)"), running
// out of memory as DECODE_OUT_OF_MEMORY; an import abandoned because
// options.keep_waiting said so as DECODE_REFUSED with an empty reason.
DECODE_STATUS decode_in_child(const char* path, const void* data, size_t size, const char* hint,
                              const IMPORT_OPTIONS& options, DECODED_MODEL* out,
                              std::string* reason);

// A picture file (or one held in memory, name giving the TGA hint) decoded
// in the decoder program like a model: the flat RGBA answer, read and
// checked here (decoded_picture_read). Failures as for decode_in_child.
DECODE_STATUS decode_picture_in_child(const char* path, const void* data, size_t size,
                                      const char* name, const IMPORT_OPTIONS& options, PICTURE* out,
                                      std::string* reason);

// What one request asks the decoder program for.
enum DECODE_KIND : uint32_t {
    DECODE_KIND_MODEL = 0,   // a DECODED_MODEL answer
    DECODE_KIND_PICTURE = 1, // a PICTURE answer
};

// The decoder program's side: applies the limits to itself, decodes and
// writes the answer on standard output. The file is path, or standard input
// when path is null. Returns the exit status.
int decoder_main(DECODE_KIND kind, const char* path, const char* hint, uint64_t memory_limit_bytes,
                 double seconds_limit);

// The decoder program's serving side (vexa-decode --serve): takes requests on
// the socket that is its standard input and decodes each in a child forked
// for it (see decoder_process.cpp). Returns only when it cannot serve.
int decoder_serve();

// Starts the decoder server now, if it is not running, so that the first
// decode does not wait for the program to load.
void decoder_prepare(const IMPORT_OPTIONS& options);
