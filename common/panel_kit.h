// panel_kit: the small control helpers the plug-ins' panels share, over the
// host's panel toolkit (LWControl get/set with LWValue records). A control
// the toolkit refused to make is null: every helper skips it (a get gives 0).
//
//   panel_set_int(control, tag, number) / panel_get_int(control, tag)
//   panel_set_float(control, number) / panel_get_float(control)   CTL_VALUE
//   panel_set_pointer(control, tag, pointer)
//   panel_set_event(control, event, data)   user data first, then the event,
//                                           as the toolkit expects
//   panel_place(control, x, y)
//   panel_place_after_label(control, field_x, y)   the label ends at
//                                           field_x, so labelled fields line up
//   panel_draw(control, mode)
//   panel_text(literal)                     the toolkit's callback types are
//                                           not const-correct; it only reads
//
//   panel_add_control(funcs, panel, type, desc, label)   addControl; null
//                                           when the toolkit refused it
//   panel_add_text(funcs, panel, label, x, y)   a "TextControl" of one empty
//                                           line (the label is the text), placed
//   panel_add_list(funcs, panel, label, width, visible_rows, count, name,
//                  column_width, data)      a "MultiListBoxControl" whose
//                                           callbacks get `data`
#pragma once

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
inline char* panel_text(const char* literal) noexcept { return const_cast<char*>(literal); }

LWControl* panel_add_control(const LWPanelFuncs* funcs, LWPanelID panel, const char* type, LWPanControlDesc& desc,
                             const char* label) noexcept;
LWControl* panel_add_text(const LWPanelFuncs* funcs, LWPanelID panel, const char* label, int x, int y) noexcept;
LWControl* panel_add_list(const LWPanelFuncs* funcs, LWPanelID panel, const char* label, int width, int visible_rows,
                          int (*count)(void*), char* (*name)(void*, int, int), int (*column_width)(void*, int),
                          void* data) noexcept;
