#include "export_names.h"

#include <cstring>

void underscore_blanks(char* text) noexcept {
    if (text == nullptr) return;
    for (char* at = text; *at != '\0'; ++at) {
        if (*at == ' ') *at = '_';
    }
}

void underscore_blanks(std::string& text) noexcept {
    for (char& c : text) {
        if (c == ' ') c = '_';
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
