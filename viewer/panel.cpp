// vexa-view's F1 panel (see panel.h).
#include "viewer/panel.h"

#include "app/input.h"
#include "assets/model_import.h"
#include "gfx/frame_clock.h"
#include "imgui/vexa_imgui.h"
#include "scene/actor.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/uniforms.h"
#include "viewer/viewer.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>

namespace {

// Frame times of the last passes, milliseconds, oldest first once full.
constexpr int HISTORY = 120;
struct FRAME_HISTORY {
    float ms[HISTORY] = {};
    int next = 0;
    int count = 0;
};
FRAME_HISTORY history;

// The node tree: a file's hierarchy is a tree, but a broken one must not
// make the panel recurse without end, so depth and node count are bounded.
constexpr int MAX_TREE_DEPTH = 48;
constexpr int MAX_TREE_NODES = 4096;

// The root alone at depth 0 (its list link belongs to the scene's layer),
// then each level's children and their siblings.
void node_tree(MODEL_ACTOR* first, int depth, int* shown) {
    for (MODEL_ACTOR* node = first; node && *shown < MAX_TREE_NODES;
         node = depth == 0 ? nullptr : static_cast<MODEL_ACTOR*>(node->next)) {
        ++*shown;
        ImGui::PushID(node);
        const bool leaf = !node->children || depth + 1 >= MAX_TREE_DEPTH;
        ImGuiTreeNodeFlags flags = ImGuiTreeNodeFlags_SpanAvailWidth;
        if (leaf) {
            flags |= ImGuiTreeNodeFlags_Leaf | ImGuiTreeNodeFlags_NoTreePushOnOpen;
        }
        const bool open =
            ImGui::TreeNodeEx("node", flags, "%s%s%s", node->name ? node->name : "(unnamed)",
                              node->model ? "  [mesh]" : "", node->skin ? "  [skin]" : "");
        ImGui::SameLine(ImGui::GetWindowWidth() - 60.0f);
        bool shown_node = !node->hidden;
        if (ImGui::Checkbox("##shown", &shown_node)) {
            node->hidden = !shown_node;
        }
        if (open && !leaf) {
            node_tree(node->children, depth + 1, shown);
            ImGui::TreePop();
        }
        ImGui::PopID();
    }
}

void clips_section(IMPORTED_MODEL* model) {
    if (model->clips.empty()) {
        ImGui::TextUnformatted("no animations");
        return;
    }
    for (int32_t i = 0; i < int32_t(model->clips.size()); ++i) {
        const IMPORTED_CLIP& clip = model->clips[size_t(i)];
        char label[96];
        std::snprintf(label, sizeof label, "%s (%.2f s)##%d", clip.name[0] ? clip.name : "clip",
                      double(clip.seconds), i);
        if (ImGui::Selectable(label, viewer.clip == i)) {
            viewer_play_clip(i);
        }
    }
    if (ImGui::Checkbox("paused", &viewer.paused)) {
        imported_model_pause(model, viewer.paused);
    }
    const IMPORTED_CLIP& clip = model->clips[size_t(viewer.clip)];
    if (clip.per_actor.empty() || !clip.per_actor[0]) {
        return;
    }
    // The slider shows the first actor's place in the clip and moves every
    // actor's animation to the same place.
    const float seconds = std::max(clip.seconds, 1e-3f);
    float at = clip.per_actor[0]->playback_position * seconds;
    if (ImGui::SliderFloat("time", &at, 0.0f, seconds, "%.2f s")) {
        const float position = std::clamp(at / seconds, 0.0f, 1.0f);
        for (ANIMATION* animation : clip.per_actor) {
            if (animation) {
                animation->playback_position = position;
            }
        }
    }
}

void light_section(const char* name, LIGHT* light) {
    static const char* const TYPES[] = {"none", "point", "spot", "directional"};
    ImGui::PushID(light);
    const int type = std::clamp(int(light->type), 0, 3);
    ImGui::Text("%s: %s", name, TYPES[type]);
    ImGui::ColorEdit3("colour", light->colour);
    ImGui::SliderFloat("intensity", &light->intensity, 0.0f, 4.0f);
    ImGui::PopID();
}

void record_frame_time() {
    FRAME_HISTORY& h = history;
    h.ms[h.next] = frame_time() * 1000.0f;
    h.next = (h.next + 1) % HISTORY;
    h.count = std::min(h.count + 1, HISTORY);
}

void frame_time_graph() {
    const FRAME_HISTORY& h = history;
    const int offset = h.count == HISTORY ? h.next : 0;
    char overlay[48];
    std::snprintf(overlay, sizeof overlay, "%.1f fps", double(frame_rate()));
    ImGui::PlotLines("ms", h.ms, h.count, offset, overlay, 0.0f, 50.0f, ImVec2(0, 60));
}

} // namespace

bool viewer_panel_start() {
    return imgui_start();
}

void viewer_panel_frame() {
    // F1 belongs to the panel even while a panel text field has the keyboard.
    if (key_pressed(SDLK_F1)) {
        viewer.panel_open = !viewer.panel_open;
    }
    // Kept while the panel is closed, so it opens on a full graph.
    record_frame_time();
    if (!viewer.panel_open || !imgui_running()) {
        return;
    }
    ImGui::SetNextWindowPos(ImVec2(10, 10), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(340, 440), ImGuiCond_FirstUseEver);
    if (!ImGui::Begin("vexa-view (F1)", &viewer.panel_open)) {
        ImGui::End();
        return;
    }
    if (viewer.model && ImGui::CollapsingHeader("nodes", ImGuiTreeNodeFlags_DefaultOpen)) {
        int shown = 0;
        node_tree(viewer.model->root, 0, &shown);
    }
    if (viewer.model && ImGui::CollapsingHeader("clips", ImGuiTreeNodeFlags_DefaultOpen)) {
        clips_section(viewer.model);
    }
    if (ImGui::CollapsingHeader("lights", ImGuiTreeNodeFlags_DefaultOpen)) {
        light_section("key", &viewer.key);
        light_section("fill", &viewer.fill);
        if (app_scene) {
            ImGui::ColorEdit3("ambient", app_scene->ambient);
        }
    }
    if (ImGui::CollapsingHeader("frame time", ImGuiTreeNodeFlags_DefaultOpen)) {
        frame_time_graph();
    }
    ImGui::End();
}

bool viewer_panel_wants_mouse() {
    return viewer.panel_open && imgui_wants_mouse();
}

bool viewer_panel_wants_keyboard() {
    return viewer.panel_open && imgui_wants_keyboard();
}
