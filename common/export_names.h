// export_names: the naming rules the two mesh exporters share.
//
//   GroupBy                      what a triangle's material name is taken
//                                from; the panels' "Group Triangles by:"
//                                popups set it. GROUP_BY_UV_MAP 0 (the
//                                polygon's UV map), GROUP_BY_SURFACE 1 (its
//                                surface), GROUP_BY_TEXTURE 2 (the image its
//                                surface's base colour shows).
//
//   underscore_material(text)    in place: every blank (code 32) becomes '_',
//                                since the material field of a triangle is one
//                                token, and so does every byte that would
//                                break its line (a quote or a control
//                                character: smd_breaks_name). Other bytes stay.
//                                A null text is left alone.
//
//   smd_default_name(text, rule) in place: the file name a save requester
//                                proposes for an object file. The first "lwo"
//                                becomes "smd"; with SMD_NAME_LOWER_OR_UPPER
//                                (the reference exporter) a text without "lwo"
//                                has its first "LWO" replaced instead, with
//                                SMD_NAME_LOWER_ONLY (the static exporter) it
//                                stays as it is. Nothing else changes, so
//                                "lwo" inside a folder name is the one replaced
//                                when it comes first. Returns 1 when something
//                                was replaced, else 0 (also for a null text).
//
// Nothing here allocates or throws.
#pragma once

#include <string>

enum GroupBy : int {
    GROUP_BY_UV_MAP = 0,
    GROUP_BY_SURFACE = 1,
    GROUP_BY_TEXTURE = 2,
};

enum SmdNameRule : int {
    SMD_NAME_LOWER_ONLY = 0,      // static exporter: "lwo" only
    SMD_NAME_LOWER_OR_UPPER = 1,  // reference exporter: "lwo", else "LWO"
};

void underscore_material(char* text) noexcept;
void underscore_material(std::string& text) noexcept;

int smd_default_name(char* text, SmdNameRule rule) noexcept;
