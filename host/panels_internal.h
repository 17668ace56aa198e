// What the panel toolkit's files share (panels.cpp, panel_controls.cpp,
// panel_views.cpp, panel_user.cpp): the model of a panel and its controls,
// the control kinds, and a few text helpers. Not for use outside the toolkit;
// the public interface is panels.h.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lwpanel.h"
#include "panels.h"

namespace lwhost {

namespace panels_internal {

enum class Kind { Bool, Button, Popup, Float, Rgb, MultiList, Num, Text, String };

struct KindInfo {
    const char* name;
    Kind kind;
    LWType desc_type;       // the descriptor type the control is built with
    LWType alt_desc_type;   // a second accepted one (the button's area variant)
};

// PAN_USERDATA and the hooks are kept by tag, up to the highest pointer tag.
inline constexpr std::size_t kPointerTags = PAN_TO_FRONT + 1;

// Metrics are kept within +-2^30 so that sums of a few of them never overflow.
inline int clamp_int(long long value) {
    return int(std::clamp<long long>(value, -(1LL << 30), 1LL << 30));
}

inline std::string text_or_empty(const char* text) { return text ? std::string(text) : std::string(); }

// Appends `text` in double quotes, escaping \" \\ and bytes below 32 as \xNN.
void append_quoted(std::string& out, std::string_view text);   // panel_views.cpp

// The panels of the current host, or null (the C entry points carry no context).
Panels* current_panels();   // panels.cpp

}  // namespace panels_internal

struct Panels::Control {
    LWControl record{};   // first member: the plug-in's LWControlID is its address
    Panel* panel = nullptr;
    std::size_t index = 0;   // in panel->controls; controls are never removed singly
    const panels_internal::KindInfo* info = nullptr;
    std::string label;
    int x = 0, y = 0;
    bool x_set = false, y_set = false;
    int w_set = -1, h_set = -1;
    int desc_width = 0, desc_height = 0, visible_rows = 0;
    int (*count_fn)(void*) = nullptr;
    char* (*popup_name_fn)(void*, int) = nullptr;
    char* (*list_name_fn)(void*, int, int) = nullptr;
    int (*column_width_fn)(void*, int) = nullptr;
    std::vector<std::string> lines;
    int int_value = 0;
    double float_value = 0.0;
    int rgb[3] = {0, 0, 0};
    std::string text;
    void* userdata = nullptr;
    bool userdata_set = false;
    LWCtlEventHook event = nullptr;
    void* user_draw = nullptr;
    bool ghosted = false, visible = true;
    int range_min = 0, range_max = 0;

    panels_internal::Kind kind() const { return info->kind; }
    int label_width() const {
        return panels_internal::clamp_int((long long)PANEL_LABEL_CHAR_WIDTH * (long long)label.size());
    }

    // panel_controls.cpp: what the control takes from its descriptor, and
    // its CTL_VALUE as the LWValue member of its type.
    void take_descriptor(const LWPanControlDesc& desc);
    void get_value(LWValue& value) const;
    void set_value(const LWValue& value);
};

struct Panels::Panel {
    std::string title;
    int x = 0, y = 0, w = -1, h = -1, flags = 0;
    void* pointers[panels_internal::kPointerTags] = {};   // PAN_USERDATA and the hooks, by tag
    std::vector<std::unique_ptr<Control>> controls;
    bool alive = true;            // false once destroyed (kept while still in use)
    bool is_open = false;
    bool close_requested = false; // the plug-in called close() from an event
    int busy = 0;                 // open() loops running on this panel
    std::size_t record = 0;       // log_ index of the current opening
    int result = 0;
};

}  // namespace lwhost
