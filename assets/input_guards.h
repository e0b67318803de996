// Cheap checks before a model is decoded, so common hostile files are
// refused in milliseconds and without a process: non-regular files, and
// counts in the headers of the text formats whose readers allocate from them
// (OFF, PLY, text X, MD5, SMD, binary STL), compared with the bytes that are
// left to hold what they count. The format is told by the content wherever
// the content tells it, not by the name. Owns nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The file at path: refused before it is opened when it is not a regular
// file (a FIFO, a device, a directory), then its content is checked. False
// with reason set ("is not a regular file", "the PLY header declares ...").
bool model_file_guard(const char* path, std::string* reason);

// The content check alone; name (a file name or an extension, may be null)
// only picks formats that have no signature (OFF without its keyword,
// binary STL).
bool model_content_guard(const uint8_t* data, size_t size, const char* name, std::string* reason);
