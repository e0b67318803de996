// The lit scene pointer (see lighting.h). Null until the scene code points it
// at a scene's lighting; while null, program switches send no light data.
#include "scene/lighting.h"

SCENE_LIGHTING* lighting_scene = nullptr;
SCENE_LIGHTING* ambient_scene = nullptr;
