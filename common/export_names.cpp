#include "export_names.h"

#include <cstring>

#include "smd_format.h"

namespace {

bool breaks_material(char c) noexcept { return c == ' ' || smd_breaks_name(c); }

}  // namespace

void underscore_material(char* text) noexcept {
    if (text == nullptr) return;
    for (char* at = text; *at != '\0'; ++at) {
        if (breaks_material(*at)) *at = '_';
    }
}

void underscore_material(std::string& text) noexcept {
    for (char& c : text) {
        if (breaks_material(c)) c = '_';
    }
}

int smd_default_name(char* text, SmdNameRule rule) noexcept {
    if (text == nullptr) return 0;
    char* found = std::strstr(text, "lwo");
    if (found == nullptr && rule == SMD_NAME_LOWER_OR_UPPER) found = std::strstr(text, "LWO");
    if (found == nullptr) return 0;
    std::memcpy(found, "smd", 3);
    return 1;
}
