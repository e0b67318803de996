// Cheap checks before a model is decoded, so common hostile files are
// refused in milliseconds: non-regular files, and
// counts in the headers of the text formats whose readers allocate from them
// (OFF, PLY, text X, MD5, SMD, binary STL), compared with the bytes that are
// left to hold what they count. The format is told by the content wherever
// the content tells it, not by the name. Owns nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What the caller checks before it hands a file to the decoder, reading
// none of its bytes: path is a regular file (refused before it is opened
// when it is a FIFO, a device, a directory), not empty and at most
// max_bytes long. False with reason set ("is not a regular file", "is empty").
bool input_file_check(const char* path, uint64_t max_bytes, std::string* reason);

// The decoder's check of a model file: input_file_check, then its content
// (model_content_guard). False with reason set ("the PLY header declares ...").
bool model_file_guard(const char* path, std::string* reason);

// The same check on a file the decoder was handed open (fd, read from its
// start; the decoder opens nothing by name). name picks formats as below.
bool model_descriptor_guard(int fd, const char* name, std::string* reason);

// The content check alone; name (a file name or an extension, may be null)
// only picks formats that have no signature (OFF without its keyword,
// binary STL).
bool model_content_guard(const uint8_t* data, size_t size, const char* name, std::string* reason);
