// The flat description of a decoded model file: what the decoder (Assimp and
// SDL2_image, in the decoder process or in this one) hands to the builder
// that makes the engine's objects. Plain values only, no pointers, so it
// crosses a pipe as bytes (decoded_model_write / decoded_model_read) and
// everything in it is checked again before it becomes engine objects.
#pragma once

#include "assets/picture_decode.h"
#include "gfx/vertex_buffer.h"
#include "math/matrix.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The engine's rules for a model, checked by the decoder on Assimp's records
// and again by the builder on the decoded description.
// 16-bit indices name at most this many vertices: larger meshes are split.
constexpr int32_t MAX_MODEL_VERTICES = 65536;
// Every level of the node tree takes one model-stack entry when drawn and
// one more when its skeleton is posed; the stack holds 64.
constexpr int32_t MAX_NODE_DEPTH = 48;
constexpr size_t MAX_NODES = 65536;
// All MODELs of one file together (instanced meshes count once per use).
constexpr int64_t MAX_TOTAL_VERTICES = 16 << 20;

// One actor of the tree; parent comes before its children (-1: the root).
struct DECODED_NODE {
    std::string name;
    int32_t parent = -1;
    MATRIX4 pivot;
};

// Triangles of one material, indices into their part's vertices.
struct DECODED_PIECE {
    uint32_t material = 0;
    std::vector<uint16_t> indices;
};

// One MODEL (at most 65 536 vertices) carried by node; skin indexes skins.
struct DECODED_PART {
    int32_t node = 0;
    int32_t skin = -1;
    std::vector<VERTEX> vertices;
    std::vector<DECODED_PIECE> pieces;
};

// A material of the file: its texture-0 picture (RGBA, top row first) has the
// diffuse colour multiplied in; a 1 x 1 picture of that colour when there is none.
struct DECODED_MATERIAL {
    float diffuse[4] = {1, 1, 1, 1};
    float specular[3] = {0, 0, 0};
    float emission[3] = {0, 0, 0};
    float alpha = 1.0f;
    uint8_t transparent = 0; // bytes, not bools: any value read back is valid
    uint8_t two_sided = 0;
    int32_t width = 1;
    int32_t height = 1;
    std::vector<uint8_t> pixels;
};

struct DECODED_JOINT {
    int32_t parent = -1; // joint of the same skin, -1 for a root
    MATRIX4 bind_local;
    MATRIX4 current;
    MATRIX4 inverse_bind;
    float normal[9] = {};
};

struct DECODED_SKIN {
    std::vector<DECODED_JOINT> joints;
};

// One animation sampled at 60 frames per second: per skin, frame_count
// frames of every joint's local transform, frame after frame.
struct DECODED_CLIP {
    std::string name;
    float seconds = 0.0f;
    int32_t frame_count = 0;
    std::vector<std::vector<MATRIX4>> per_skin;
};

struct DECODED_MODEL {
    std::vector<DECODED_NODE> nodes;
    std::vector<DECODED_PART> parts;
    std::vector<DECODED_MATERIAL> materials;
    std::vector<DECODED_SKIN> skins;
    std::vector<DECODED_CLIP> clips;
    VECTOR3 bounds_min{0, 0, 0};
    VECTOR3 bounds_max{0, 0, 0};
    int32_t joint_count = 0;
    // Lines about a file that loads (a missing picture, dropped faces), each
    // printed as "<file>: warning: ..." once the model is built.
    std::vector<std::string> warnings;
};

// How a decode ended: the first byte of the decoder's answer.
enum DECODE_STATUS : uint8_t {
    DECODE_LOADED = 0,
    DECODE_REFUSED = 1,       // the answer carries the reason
    DECODE_OUT_OF_MEMORY = 2, // the decoder hit its memory limit
};

// Writes the answer for status (the model for DECODE_LOADED, the reason for
// DECODE_REFUSED) to the descriptor fd: its length in bytes (8 bytes), then
// the answer. False when fd stopped taking it.
bool decoded_model_send(int fd, DECODE_STATUS status, const DECODED_MODEL& model,
                        const std::string& reason);
// Reads an answer (without its length). Every count is checked against the
// bytes left, each list's against the smallest encoding of its record, so a
// damaged answer gives false, never an over-read, and the records made take
// at most four times the answer's bytes.
bool decoded_model_read(const uint8_t* data, size_t size, DECODE_STATUS* status,
                        DECODED_MODEL* model, std::string* reason);

// The same for a picture decoded by the decoder: its width, height and RGBA
// rows. A picture the engine does not take (picture_size_acceptable, pixels
// not width x height x 4 bytes) is a damaged answer.
bool decoded_picture_send(int fd, DECODE_STATUS status, const PICTURE& picture,
                          const std::string& reason);
bool decoded_picture_read(const uint8_t* data, size_t size, DECODE_STATUS* status, PICTURE* picture,
                          std::string* reason);

// The same answers as bytes in memory, length first, as the decoder sends
// them: a decode in the caller's own process (the browser) goes through the
// same reader as one in the decoder program.
void decoded_model_encode(DECODE_STATUS status, const DECODED_MODEL& model,
                          const std::string& reason, std::vector<uint8_t>* out);
void decoded_picture_encode(DECODE_STATUS status, const PICTURE& picture, const std::string& reason,
                            std::vector<uint8_t>* out);

// Gathers an answer as its bytes arrive, on every platform. The length it
// starts with is only a claim: the buffer grows with the bytes that arrive,
// so a decoder that announces a gigabyte and stalls costs nothing; a claim
// over limit, or more bytes than claimed, is refused (take returns false).
struct ANSWER_COLLECTOR {
    uint64_t limit = 0;
    std::vector<uint8_t>* answer = nullptr; // the bytes after the length
    uint8_t length[8] = {};
    size_t length_got = 0;
    uint64_t expected = 0;

    bool take(const uint8_t* bytes, size_t size);
};

// Checks every rule the builder relies on, then builds the engine's objects
// into out (model_import.cpp; needs GL or its recording stand-in). False
// with the damage named in reason ("the decoded model is damaged (index)"),
// out left empty.
struct IMPORTED_MODEL;
bool decoded_model_build(const DECODED_MODEL& model, IMPORTED_MODEL* out, std::string* reason);
