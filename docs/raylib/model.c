// The raylib version of examples/model.cpp, written with raylib's public API
// to compare the lengths of the two programs; not built. Lighting in raylib
// comes from the lighting.vs/fs shaders and rlights.h of raylib's examples.
#include "raylib.h"
#include "raymath.h"
#define RLIGHTS_IMPLEMENTATION
#include "rlights.h"

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "docs/models/bending_tube.gltf";
    InitWindow(1024, 600, "Vexa model");
    Model model = LoadModel(path);
    int clip_count = 0;
    ModelAnimation* clips = LoadModelAnimations(path, &clip_count);
    Shader shader = LoadShader("lighting.vs", "lighting.fs");
    shader.locs[SHADER_LOC_VECTOR_VIEW] = GetShaderLocation(shader, "viewPos");
    float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    SetShaderValue(shader, GetShaderLocation(shader, "ambient"), ambient, SHADER_UNIFORM_VEC4);
    for (int i = 0; i < model.materialCount; i++) model.materials[i].shader = shader;
    CreateLight(LIGHT_DIRECTIONAL, (Vector3){3, 5, 4}, Vector3Zero(), WHITE, shader);
    BoundingBox box = GetModelBoundingBox(model);
    Vector3 centre = Vector3Scale(Vector3Add(box.min, box.max), 0.5f);
    float height = box.max.y - box.min.y;
    Camera camera = {{centre.x, centre.y + 0.5f * height, centre.z + 1.4f * height}, centre,
                     {0, 1, 0}, 45, CAMERA_PERSPECTIVE};
    int frame = 0;
    SetTargetFPS(60);
    while (!WindowShouldClose()) {
        UpdateCamera(&camera, CAMERA_ORBITAL);
        if (clip_count > 0) UpdateModelAnimation(model, clips[0], frame++ % clips[0].frameCount);
        SetShaderValue(shader, shader.locs[SHADER_LOC_VECTOR_VIEW], &camera.position,
                       SHADER_UNIFORM_VEC3);
        BeginDrawing();
        ClearBackground(DARKGRAY);
        BeginMode3D(camera);
        DrawModel(model, Vector3Zero(), 1.0f, WHITE);
        EndMode3D();
        DrawFPS(10, 10);
        EndDrawing();
    }
    UnloadModelAnimations(clips, clip_count);
    UnloadShader(shader);
    UnloadModel(model);
    CloseWindow();
    return 0;
}
