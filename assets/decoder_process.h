// Running the model and picture decoder in a process of its own (see
// decoder_process.cpp for the choice of a helper program). Internal to
// assets/. This header, decoder_files.h and the reading below a folder in
// neighbour_files.h are all that differs between platforms; CMake builds one
// implementation: decoder_process.cpp and decoder_files.cpp on Linux,
// decoder_platform_windows.cpp on Windows and decoder_platform_web.cpp in the
// browser (no processes there: the decode runs in the page's own).
#pragma once

#include "assets/decoded_model.h"
#include "assets/decoder_files.h"
#include "assets/model_import.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Decodes like decode_model (model_decode.h), but in the decoder program,
// limited by options and locked in its sandbox. A crash, a limit, a
// forbidden system call or a timeout comes back as DECODE_REFUSED with the
// reason ("the decoder crashed (SIGSEGV)"), running out of memory as
// DECODE_OUT_OF_MEMORY; an import abandoned because options.keep_waiting
// said so as DECODE_REFUSED with an empty reason. files stay the caller's.
DECODE_STATUS decode_in_child(const DECODER_FILES* files, const void* data, size_t size,
                              const char* hint, const IMPORT_OPTIONS& options, DECODED_MODEL* out,
                              std::string* reason);

// A picture file handed over as files (with no neighbours), or one held in
// memory (files null; name giving the TGA hint), decoded in the decoder
// program like a model: the flat RGBA answer, read and checked here
// (decoded_picture_read). Failures as for decode_in_child.
DECODE_STATUS decode_picture_in_child(const DECODER_FILES* files, const void* data, size_t size,
                                      const char* name, const IMPORT_OPTIONS& options, PICTURE* out,
                                      std::string* reason);

// What one request asks the decoder program for.
enum DECODE_KIND : uint32_t {
    DECODE_KIND_MODEL = 0,   // a DECODED_MODEL answer
    DECODE_KIND_PICTURE = 1, // a PICTURE answer
};

// The platform's half of decode_in_child and decode_picture_in_child: runs
// one decode of kind in the decoder program and collects its answer's bytes.
// DECODE_LOADED when the decoder ended well and *answer holds what it said
// (still to be read and checked, decoder_child.cpp); otherwise the refusal,
// with its reason. files stay the caller's.
DECODE_STATUS run_decoder(DECODE_KIND kind, const DECODER_FILES* files, const void* data,
                          size_t size, const char* hint, const IMPORT_OPTIONS& options,
                          std::vector<uint8_t>* answer, std::string* reason);

// The decoder program's side: applies the limits and the lock to itself,
// decodes and writes the answer on standard output. The file is read from
// standard input: the file named name below the folder on DECODER_FOLDER_FD
// (has_folder), or a file held in memory when name is null. Returns the exit
// status.
int decoder_main(DECODE_KIND kind, const char* name, bool has_folder, const char* hint,
                 uint64_t memory_limit_bytes, double seconds_limit, DECODER_SANDBOX sandbox);

// The decoder program's serving side (vexa-decode --serve): takes requests on
// the socket that is its standard input and decodes each in a child forked
// for it (see decoder_process.cpp). Returns only when it cannot serve.
int decoder_serve();

// Starts the decoder server now, if it is not running, so that the first
// decode does not wait for the program to load.
void decoder_prepare(const IMPORT_OPTIONS& options);

// The lock (decoder_sandbox.h), set by the decoder program's main: the
// library itself does not link libseccomp. Null: no layer is in place.
extern uint32_t (*decoder_lock_function)(int folder_fd);
extern void (*decoder_lock_prepare_function)();
// Set only by the tests' decoder program: called in the decode child right
// after the lock, with the model's name, to try what a decoder taken over
// by a hostile file would try.
extern void (*decoder_after_lock)(const char* name);
// Windows: the inherited handle on the neighbours' folder, the value of the
// decoder program's --folder (Linux hands the folder over on descriptor 3).
extern uint64_t decoder_folder_handle;
