// The raylib version of examples/sprite.cpp, written with raylib's public API
// to compare the lengths of the two programs; not built.
#include "raylib.h"

int main(void) {
    InitWindow(1024, 600, "Vexa sprite");
    Texture2D picture = LoadTexture("docs/screenshot.png");
    Image yellow = GenImageColor(48, 48, (Color){255, 210, 0, 255});
    Texture2D square = LoadTextureFromImage(yellow);
    UnloadImage(yellow);
    Vector2 position = {100, 276};
    SetTargetFPS(60);
    while (!WindowShouldClose()) {
        position.x += 2 * (IsKeyDown(KEY_RIGHT) - IsKeyDown(KEY_LEFT));
        position.y += 2 * (IsKeyDown(KEY_DOWN) - IsKeyDown(KEY_UP));
        BeginDrawing();
        ClearBackground(BLACK);
        DrawTexture(picture, 0, 0, WHITE);
        DrawTextureV(square, position, WHITE);
        DrawText("Move the square with the arrow keys", 10, 10, 20, WHITE);
        DrawFPS(10, 34);
        EndDrawing();
    }
    UnloadTexture(square);
    UnloadTexture(picture);
    CloseWindow();
    return 0;
}
