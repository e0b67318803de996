// Proves a set of cross-built loader libraries: imports an OBJ and a glTF
// from memory with Assimp and decodes a PNG with SDL2_image, checking what
// comes back, and that a broken file is refused with a message rather than
// ending the program (on the web, only when exceptions are caught).
// Prints one line per case; status 0 when all hold.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_image.h>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cstdio>
#include <cstring>

namespace {

const char OBJ_TRIANGLE[] = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

// The same triangle, its positions in a base64 buffer inside the file.
const char GLTF_TRIANGLE[] = R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],
"nodes":[{"mesh":0}],"meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],
"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}],
"bufferViews":[{"buffer":0,"byteLength":36}],
"buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"}]})";

// A 2x1 RGBA picture: opaque red, then half-transparent blue.
const unsigned char PNG_2X1[] = {
    137, 80,  78,  71,  13,  10,  26,  10, 0,   0,   0,   13,  73, 72,  68,  82, 0,   0,
    0,   2,   0,   0,   0,   1,   8,   6,  0,   0,   0,   244, 34, 127, 138, 0,  0,   0,
    14,  73,  68,  65,  84,  120, 156, 99, 248, 207, 192, 0,   66, 13,  0,   15, 122, 3,
    126, 119, 233, 127, 151, 0,   0,   0,  0,   73,  69,  78,  68, 174, 66,  96, 130};
const unsigned char PNG_PIXELS[8] = {255, 0, 0, 255, 0, 0, 255, 128};

bool imports_triangle(const char* text, const char* hint) {
    Assimp::Importer importer;
    const aiScene* scene =
        importer.ReadFileFromMemory(text, std::strlen(text), aiProcess_Triangulate, hint);
    const bool ok = scene && scene->mNumMeshes == 1 && scene->mMeshes[0]->mNumVertices == 3 &&
                    scene->mMeshes[0]->mVertices[1].x == 1.0f &&
                    scene->mMeshes[0]->mVertices[2].y == 1.0f;
    std::printf("%s: %s\n", hint, ok ? "one triangle" : importer.GetErrorString());
    return ok;
}

bool refuses_broken_gltf() {
    static const char broken[] =
        R"({"asset":{"version":"2.0"},"meshes":[{"primitives":[{"attributes":)";
    Assimp::Importer importer;
    const bool ok = !importer.ReadFileFromMemory(broken, sizeof broken - 1, 0, "gltf") &&
                    importer.GetErrorString()[0] != '\0';
    std::printf("broken gltf: %s\n", ok ? "refused with a message" : "accepted");
    return ok;
}

bool decodes_png() {
    SDL_Surface* picture = IMG_Load_RW(SDL_RWFromConstMem(PNG_2X1, sizeof PNG_2X1), 1);
    if (!picture) {
        std::printf("png: %s\n", IMG_GetError());
        return false;
    }
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(picture, SDL_PIXELFORMAT_ABGR8888, 0);
    const bool ok =
        rgba && rgba->w == 2 && rgba->h == 1 && std::memcmp(rgba->pixels, PNG_PIXELS, 8) == 0;
    std::printf("png: %s\n", ok ? "2x1, pixels as written" : "wrong size or pixels");
    SDL_FreeSurface(rgba);
    SDL_FreeSurface(picture);
    return ok;
}

} // namespace

int main() {
    const bool obj = imports_triangle(OBJ_TRIANGLE, "obj");
    const bool gltf = imports_triangle(GLTF_TRIANGLE, "gltf");
    const bool broken = refuses_broken_gltf();
    const bool png = decodes_png();
    return obj && gltf && broken && png ? 0 : 1;
}
