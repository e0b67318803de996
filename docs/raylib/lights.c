// The raylib version of examples/lights.cpp, written with raylib's public API
// to compare the lengths of the two programs; not built. Lighting in raylib
// comes from the lighting.vs/fs shaders and rlights.h of raylib's examples.
#include "raylib.h"
#include "raymath.h"
#define RLIGHTS_IMPLEMENTATION
#include "rlights.h"

static void draw_scene(Model floor, Model cube, float angle) {
    DrawModel(floor, (Vector3){0, -0.5f, 0}, 1.0f, WHITE);
    for (int i = 0; i < 25; i++) {
        Vector3 position = {(float)(i % 5 * 2 - 4), 0, (float)(i / 5 * 2 - 4)};
        DrawModelEx(cube, position, (Vector3){0, 1, 0}, angle, Vector3One(), WHITE);
    }
}

int main(void) {
    InitWindow(1024, 600, "Vexa lights");
    Shader shader = LoadShader("lighting.vs", "lighting.fs");
    shader.locs[SHADER_LOC_VECTOR_VIEW] = GetShaderLocation(shader, "viewPos");
    float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    SetShaderValue(shader, GetShaderLocation(shader, "ambient"), ambient, SHADER_UNIFORM_VEC4);
    Model floor = LoadModelFromMesh(GenMeshPlane(20, 20, 1, 1));
    Model cube = LoadModelFromMesh(GenMeshCube(1, 1, 1));
    floor.materials[0].shader = cube.materials[0].shader = shader;
    CreateLight(LIGHT_POINT, (Vector3){-4, 3, 0}, Vector3Zero(), (Color){255, 51, 51, 255}, shader);
    CreateLight(LIGHT_POINT, (Vector3){4, 3, 0}, Vector3Zero(), (Color){51, 51, 255, 255}, shader);
    Camera camera = {{0, 7, 12}, {0, 0, 0}, {0, 1, 0}, 45, CAMERA_PERSPECTIVE};
    Camera above = {{0, 12, 0.01f}, {0, 0, 0}, {0, 1, 0}, 60, CAMERA_PERSPECTIVE};
    RenderTexture2D view_from_above = LoadRenderTexture(256, 256);
    float angle = 0;
    SetTargetFPS(60);
    while (!WindowShouldClose()) {
        angle += 1;
        SetShaderValue(shader, shader.locs[SHADER_LOC_VECTOR_VIEW], &above.position,
                       SHADER_UNIFORM_VEC3);
        BeginTextureMode(view_from_above);
        ClearBackground(BLACK);
        BeginMode3D(above);
        draw_scene(floor, cube, angle);
        EndMode3D();
        EndTextureMode();
        SetShaderValue(shader, shader.locs[SHADER_LOC_VECTOR_VIEW], &camera.position,
                       SHADER_UNIFORM_VEC3);
        BeginDrawing();
        ClearBackground(DARKGRAY);
        BeginMode3D(camera);
        draw_scene(floor, cube, angle);
        EndMode3D();
        DrawTextureRec(view_from_above.texture, (Rectangle){0, 0, 256, -256}, (Vector2){758, 10},
                       WHITE);
        DrawFPS(10, 10);
        EndDrawing();
    }
    UnloadRenderTexture(view_from_above);
    UnloadModel(cube);
    UnloadModel(floor);
    UnloadShader(shader);
    CloseWindow();
    return 0;
}
