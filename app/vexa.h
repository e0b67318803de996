// Everything a program on the engine usually needs, in one include: the
// application description and loop, the executable's folder, the window, scenes, cameras, models,
// primitives, lights, sprites, textures, render textures, text, the
// frame clock, gamepads, vector arithmetic and screenshots. Owns nothing.
#pragma once

#include "app/application.h"
#include "app/gamepad.h"
#include "app/input.h"
#include "app/platform.h"
#include "app/runtime.h"
#include "gfx/frame_clock.h"
#include "gfx/window.h"
#include "math/vector.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/font.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/primitives.h"
#include "scene/render_texture.h"
#include "scene/scene.h"
#include "scene/shapes.h"
#include "scene/sprite.h"
#include "scene/text.h"
#include "scene/texture.h"
#include "scene/uniforms.h"
#include "shader/limits.h"
// save_screenshot, wherever the engine was built with libpng (not in the
// browser build, whose canvas the page can save itself).
#if __has_include("capture/screenshot.h")
#include "capture/screenshot.h"
#endif
