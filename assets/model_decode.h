// The model decoder: a model file (or one held in memory) through Assimp and
// SDL2_image into the flat DECODED_MODEL. Runs in the decoder process
// (decoder_main.cpp) or, when asked, in the caller's; makes no engine object
// and no GL call. Internal to assets/.
#pragma once

#include "assets/decoded_model.h"
#include "assets/decoder_files.h"

#include <cstddef>
#include <string>

// Decodes the file handed over as files (data null; its neighbours are read
// below files->folder only) or size bytes at data (files null; hint is the
// extension, "glb", and no other file is read). On DECODE_REFUSED reason
// holds the text after "<file>: ".
DECODE_STATUS decode_model(const DECODER_FILES* files, const void* data, size_t size,
                           const char* hint, DECODED_MODEL* out, std::string* reason);
