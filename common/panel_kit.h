// panel_kit: the small helpers the plug-ins' panels share, over the host's
// panel toolkit (LWControl get/set with LWValue records). A control the
// toolkit refused to make is null: every helper skips it (a get gives 0).
//
// Panels
//   panel_create_checked(funcs, title, width, height)   a panel of that size
//                                           from a toolkit of version
//                                           LWPANELS_API_VERSION; null when
//                                           the toolkit or its create is
//                                           missing, create fails or the
//                                           version differs (that panel is
//                                           destroyed again). The caller
//                                           destroys a panel it got.
//   panel_create_sized(funcs, title, width, height)   the same without the
//                                           version check
//
// Control values
//   panel_set_int(control, tag, number) / panel_get_int(control, tag)
//   panel_set_float(control, number) / panel_get_float(control)   CTL_VALUE
//   panel_set_pointer(control, tag, pointer)
//   panel_set_event(control, event, data)   user data first, then the event,
//                                           as the toolkit expects
//   panel_place(control, x, y)
//   panel_place_after_label(control, field_x, y)   the label ends at
//                                           field_x, so labelled fields line up
//   panel_draw(control, mode)
//   panel_draw_enabled(control, enabled)    DR_RENDER when enabled, else
//                                           DR_GHOST
//   panel_text(literal)                     the toolkit's callback types are
//                                           not const-correct; it only reads
//
// Adding controls (each null when the toolkit refused it)
//   panel_add_control(funcs, panel, type, desc, label)   addControl
//   panel_add_typed(funcs, panel, type, desc_type, label, x, y)   a control
//                                           whose descriptor is only its type
//                                           (bool, button, float, num...),
//                                           placed at x, y
//   panel_add_text(funcs, panel, label, x, y)   a "TextControl" of one empty
//                                           line (the label is the text), placed
//   panel_add_popup(funcs, panel, label, width, count, name, field_x, y,
//                   data)                   a "CustomPopupControl" whose field
//                                           starts at field_x and whose
//                                           callbacks get `data`
//   panel_add_list(funcs, panel, label, width, visible_rows, count, name,
//                  column_width, data)      a "MultiListBoxControl" whose
//                                           callbacks get `data`
//
// The "Scale geometry:" box and its number field
//   float_from_double(value)                a double as a float, rounded
//                                           as IEEE rounds it: values that
//                                           round past the largest float
//                                           become an infinity of its sign
//                                           (the plain conversion is
//                                           undefined there)
//   panel_scale_setting(box, field[, kept]) the field as a float while the
//                                           box is on, else 1. With `kept`
//                                           (the exporters), the field's last
//                                           good value, the panel's initial
//                                           scale at first: a value that is
//                                           no finite float (NaN, an
//                                           infinity, past the largest float)
//                                           is replaced in the field by
//                                           `kept` and read as it; a finite
//                                           one becomes `kept`
//   panel_scale_edited(field, kept)         the field's event: the same rule
//                                           for a value just typed, so the
//                                           field never shows one that is no
//                                           finite float
//   panel_scale_toggled(box, field[, kept]) the box's event: draws the field
//                                           normal while the box is on,
//                                           ghosted while off, and returns
//                                           panel_scale_setting
//
// The mesh exporters' "Group Triangles by:" popup: with UV maps its items
// are "UV Texture Map Name", "Surface Name", "Surface Texture Image Name"
// (GroupBy order); without, the first is left out.
//   panel_group_count(uv_map_count)         3 with UV maps, else 2
//   panel_group_of_item(uv_map_count, index)   the GroupBy the item stands
//                                           for; an index the popup does not
//                                           have stands for its first item
//   panel_group_name(uv_map_count, index)   the item's text
//
// What else the two mesh exporters' panels show alike: the sizes their
// popups and lists share, the labels, and the rows of the "Invalid Geometry
// List" (no UVs, degenerate, five or more points, not a face).
//   mesh_panel_create(funcs, title, height, object_name, out_label)
//                                           their panel: out_label becomes
//                                           "Object: " and the object's name
//                                           (the first control's label), then
//                                           panel_create_checked at
//                                           MESH_PANEL_WIDTH; null when the
//                                           services are missing, the label
//                                           could not be made or the panel
//                                           was refused
#pragma once

#include <string>

#include <lwpanel.h>

void panel_set_int(LWControl* control, cTag tag, int number) noexcept;
int panel_get_int(LWControl* control, cTag tag) noexcept;
void panel_set_float(LWControl* control, double number) noexcept;
double panel_get_float(LWControl* control) noexcept;
void panel_set_pointer(LWControl* control, cTag tag, void* pointer) noexcept;
void panel_set_event(LWControl* control, LWCtlEventHook event, void* data) noexcept;
void panel_place(LWControl* control, int x, int y) noexcept;
void panel_place_after_label(LWControl* control, int field_x, int y) noexcept;
void panel_draw(LWControl* control, DrMode mode) noexcept;
void panel_draw_enabled(LWControl* control, bool enabled) noexcept;
inline char* panel_text(const char* literal) noexcept { return const_cast<char*>(literal); }

LWPanelID panel_create_checked(LWPanelFuncs* funcs, const char* title, int width, int height) noexcept;
LWPanelID panel_create_sized(LWPanelFuncs* funcs, const char* title, int width, int height) noexcept;

LWControl* panel_add_control(const LWPanelFuncs* funcs, LWPanelID panel, const char* type, LWPanControlDesc& desc,
                             const char* label) noexcept;
LWControl* panel_add_typed(const LWPanelFuncs* funcs, LWPanelID panel, const char* type, LWType desc_type,
                           const char* label, int x, int y) noexcept;
LWControl* panel_add_text(const LWPanelFuncs* funcs, LWPanelID panel, const char* label, int x, int y) noexcept;
LWControl* panel_add_popup(const LWPanelFuncs* funcs, LWPanelID panel, const char* label, int width,
                           int (*count)(void*), char* (*name)(void*, int), int field_x, int y, void* data) noexcept;
LWControl* panel_add_list(const LWPanelFuncs* funcs, LWPanelID panel, const char* label, int width, int visible_rows,
                          int (*count)(void*), char* (*name)(void*, int, int), int (*column_width)(void*, int),
                          void* data) noexcept;

float float_from_double(double value) noexcept;
float panel_scale_setting(LWControl* box, LWControl* field) noexcept;
float panel_scale_toggled(LWControl* box, LWControl* field) noexcept;
float panel_scale_setting(LWControl* box, LWControl* field, float& kept) noexcept;
float panel_scale_edited(LWControl* field, float& kept) noexcept;
float panel_scale_toggled(LWControl* box, LWControl* field, float& kept) noexcept;

int panel_group_count(int uv_map_count) noexcept;
int panel_group_of_item(int uv_map_count, int index) noexcept;
char* panel_group_name(int uv_map_count, int index) noexcept;

constexpr int MESH_PANEL_WIDTH = 520;
constexpr int MESH_PANEL_POPUP_FIELD_X = 160;  // where the popups' fields start, after their labels
constexpr int MESH_PANEL_POPUP_WIDTH = 180;
constexpr int MESH_PANEL_LIST_WIDTH = 500;
constexpr char MESH_PANEL_GROUP_BY[] = "Group Triangles by:";
constexpr char MESH_PANEL_VERIFY[] = "Don't verify UV information";
constexpr char MESH_PANEL_VALID_LIST[] = "Valid Geometry List";
constexpr char MESH_PANEL_INVALID_LIST[] = "Invalid Geometry List";
constexpr char MESH_PANEL_UV_TEMPLATE[] = "UV Template Image Options";
constexpr char MESH_PANEL_SCALE[] = "Scale geometry:";
constexpr char MESH_PANEL_SAVE_HINT[] = "Click Save SMD File to export SMD file:";
constexpr char MESH_PANEL_SAVE[] = "Save SMD file";
constexpr int MESH_PANEL_INVALID_ROWS = 4;
extern const char* const MESH_PANEL_INVALID_LABELS[MESH_PANEL_INVALID_ROWS];
LWPanelID mesh_panel_create(LWPanelFuncs* funcs, const char* title, int height, const std::string& object_name,
                            std::string& out_label) noexcept;
