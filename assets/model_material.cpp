// Materials of a decoded model: colours, specular, emission, opacity and
// the diffuse picture as texture 0 (a file beside the model or a picture
// embedded in it). Owns no globals; relies on Assimp's material records, the
// guarded file reading of assets/neighbour_files.h and the quiet picture
// decoder of assets/picture_decode.h.
#include "assets/import_context.h"
#include "assets/neighbour_files.h"
#include "assets/picture_decode.h"

#include <assimp/GltfMaterial.h>
#include <assimp/material.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

float unit_value(float v, float fallback) {
    return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : fallback;
}

bool read_colour(const aiMaterial* m, const char* key, unsigned type, unsigned index,
                 float out[4]) {
    aiColor4D c;
    if (m->Get(key, type, index, c) != AI_SUCCESS) {
        return false;
    }
    const float v[4] = {c.r, c.g, c.b, c.a};
    for (int i = 0; i < 4; ++i) {
        out[i] = unit_value(v[i], out[i]);
    }
    return true;
}

// Decodes an embedded picture: compressed (PNG, JPEG... in memory) or raw texels.
bool decode_embedded(const aiTexture* t, PICTURE* picture, std::string* reason) {
    if (!t->pcData) {
        *reason = "the embedded picture has no data";
        return false;
    }
    if (t->mHeight == 0) {
        std::string hint = "picture.";
        for (int i = 0; i < 4 && t->achFormatHint[i]; ++i) {
            hint += t->achFormatHint[i];
        }
        return decode_picture(t->pcData, t->mWidth, hint.c_str(), picture, reason);
    }
    uint64_t w = t->mWidth, h = t->mHeight;
    if (!picture_size_acceptable(int64_t(w), int64_t(h))) {
        *reason = "the embedded picture is larger than the engine takes";
        return false;
    }
    picture->width = int32_t(w);
    picture->height = int32_t(h);
    picture->pixels.resize(size_t(w * h * 4));
    uint8_t* pixels = picture->pixels.data();
    for (uint64_t i = 0; i < w * h; ++i) {
        const aiTexel& texel = t->pcData[i];
        pixels[4 * i + 0] = texel.r;
        pixels[4 * i + 1] = texel.g;
        pixels[4 * i + 2] = texel.b;
        pixels[4 * i + 3] = texel.a;
    }
    return true;
}

// The picture file a material names, looked for as written (relative to the
// model's folder; a leading slash may also mean that folder) and then by its
// file name alone in that folder; an absolute name outside the neighbours'
// folder is refused where it is opened.
bool decode_file(const IMPORT& im, std::string path, PICTURE* picture, std::string* reason) {
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.rfind("file://", 0) == 0) {
        path.erase(0, 7);
    }
    std::vector<std::string> candidates;
    if (!path.empty() && path[0] == '/') {
        candidates.push_back(path);
        candidates.push_back(im.directory + path.substr(1));
    } else {
        candidates.push_back(im.directory + path);
    }
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
        candidates.push_back(im.directory + path.substr(slash + 1));
    }
    // The first candidate that can be read is decoded; otherwise the first
    // reason a candidate could not be read, or "is missing".
    *reason = "is missing";
    bool found = false;
    for (const std::string& candidate : candidates) {
        std::string file = find_below(im.folder, candidate);
        std::vector<uint8_t> bytes;
        std::string why;
        if (file.empty()) {
            continue;
        }
        if (read_below(im.folder, file, &bytes, &why)) {
            return decode_picture(bytes.data(), bytes.size(), file.c_str(), picture, reason);
        }
        if (!found) {
            *reason = why;
            found = true;
        }
    }
    return false;
}

// Loads texture 0 of material m into source, or leaves the 1 x 1 colour picture.
void read_picture(IMPORT& im, const aiMaterial* m, DECODED_MATERIAL& source, int32_t* uv_channel) {
    aiString path;
    unsigned uv = 0;
    aiTextureType type = aiTextureType_DIFFUSE;
    if (m->GetTextureCount(type) == 0) {
        type = aiTextureType_BASE_COLOR;
    }
    if (m->GetTextureCount(type) == 0 ||
        m->GetTexture(type, 0, &path, nullptr, &uv) != AI_SUCCESS || path.length == 0) {
        return;
    }
    *uv_channel = uv < 2 ? int32_t(uv) : 0;
    PICTURE image;
    std::string reason;
    bool ok;
    const aiTexture* embedded = im.scene->GetEmbeddedTexture(path.C_Str());
    if (embedded) {
        ok = decode_embedded(embedded, &image, &reason);
    } else if (path.C_Str()[0] == '*') {
        ok = false;
        reason = "names no embedded picture";
    } else if (im.from_memory) {
        ok = false;
        reason = "is not read for a model in memory";
    } else {
        ok = decode_file(im, path.C_Str(), &image, &reason);
    }
    if (!ok && im.warned_pictures.insert(path.C_Str()).second) {
        im.out->warnings.push_back(std::string("picture ") + path.C_Str() + " " + reason +
                                   "; drawn white");
    }
    if (!ok) {
        return;
    }
    source.width = image.width;
    source.height = image.height;
    source.pixels = std::move(image.pixels);
}

void convert(IMPORT& im, const aiMaterial* m, DECODED_MATERIAL& source, int32_t* uv_channel) {
    if (!read_colour(m, AI_MATKEY_COLOR_DIFFUSE, source.diffuse)) {
        read_colour(m, AI_MATKEY_BASE_COLOR, source.diffuse);
    }
    float colour[4] = {0, 0, 0, 1};
    if (read_colour(m, AI_MATKEY_COLOR_SPECULAR, colour)) {
        std::copy(colour, colour + 3, source.specular);
    }
    colour[0] = colour[1] = colour[2] = 0;
    if (read_colour(m, AI_MATKEY_COLOR_EMISSIVE, colour)) {
        std::copy(colour, colour + 3, source.emission);
    }
    float opacity = 1.0f;
    if (m->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS) {
        // An opacity of 0 is almost always an exporter's unset field: a
        // material nobody can see is kept opaque instead.
        opacity = unit_value(opacity, 1.0f);
        source.alpha = opacity > 0.0f ? opacity : 1.0f;
    }
    int two_sided = 0;
    if (m->Get(AI_MATKEY_TWOSIDED, two_sided) == AI_SUCCESS) {
        source.two_sided = two_sided != 0;
    }
    aiString alpha_mode;
    bool has_alpha_mode = m->Get(AI_MATKEY_GLTF_ALPHAMODE, alpha_mode) == AI_SUCCESS;

    read_picture(im, m, source, uv_channel);
    if (source.pixels.empty()) {
        source.width = source.height = 1;
        source.pixels.assign(4, 255);
    }
    // The diffuse colour tints the picture; an opaque glTF material ignores its alpha.
    bool opaque_mode = has_alpha_mode && std::strcmp(alpha_mode.C_Str(), "OPAQUE") == 0;
    bool translucent_pixels = false;
    for (size_t i = 0; i < source.pixels.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            source.pixels[i + c] = uint8_t(std::lround(source.pixels[i + c] * source.diffuse[c]));
        }
        if (opaque_mode) {
            source.pixels[i + 3] = 255;
        }
        translucent_pixels |= source.pixels[i + 3] < 255;
    }
    source.transparent = source.alpha < 1.0f ||
                         (has_alpha_mode && std::strcmp(alpha_mode.C_Str(), "BLEND") == 0) ||
                         (!has_alpha_mode && translucent_pixels);
}

} // namespace

void read_material(IMPORT& im, uint32_t index) {
    if (index >= im.scene->mNumMaterials || !im.scene->mMaterials || !im.scene->mMaterials[index]) {
        refuse("a mesh names material " + std::to_string(index) + ", which the file does not have");
    }
    if (im.material_ready.size() < im.scene->mNumMaterials) {
        im.material_ready.resize(im.scene->mNumMaterials);
        im.uv_channel.resize(im.scene->mNumMaterials);
        im.out->materials.resize(im.scene->mNumMaterials);
    }
    if (!im.material_ready[index]) {
        convert(im, im.scene->mMaterials[index], im.out->materials[index], &im.uv_channel[index]);
        im.material_ready[index] = true;
    }
}
