#include "host_glue.h"

#include <clocale>
#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <locale.h>

CNumericLocale::CNumericLocale() noexcept {
    static locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    if (c_locale) previous_ = uselocale(c_locale);
}

CNumericLocale::~CNumericLocale() {
    if (previous_) uselocale(previous_);
}

namespace {

std::size_t clamp_length(int written, std::size_t size) noexcept {
    if (written < 0 || size == 0) return 0;
    return std::size_t(written) < size ? std::size_t(written) : size - 1;
}

int evaluate_layout(const LWLayoutGeneric* generic, const char* text) noexcept {
    if (!generic || !generic->evaluate) return 0;
    return generic->evaluate(generic->data, text);
}

int evaluate_modeler(const LWModCommand* local, const char* text) noexcept {
    if (!local || !local->evaluate) return 0;
    return local->evaluate(local->data, text);
}

}  // namespace

void* plugin_startup(void) noexcept {
    // Any non-null value tells the host the module is ready; 4 is the token
    // this system has always returned.
    return reinterpret_cast<void*>(std::uintptr_t(4));
}

void plugin_shutdown(void*) noexcept {}

void report_error(const LWMessageFuncs* messages, const char* text) noexcept {
    if (messages && messages->error) messages->error(text, nullptr);
}

std::size_t compose_command(char* out, std::size_t out_size, const char* word) noexcept {
    if (!out || out_size == 0) return 0;
    return clamp_length(std::snprintf(out, out_size, "%s", word ? word : ""), out_size);
}

std::size_t compose_command(char* out, std::size_t out_size, const char* word, const char* format,
                            va_list args) noexcept {
    if (!out || out_size == 0) return 0;
    if (!word) word = "";
    if (!format) return compose_command(out, out_size, word);
    CNumericLocale c_locale;
    char arguments[COMMAND_ARGS_SIZE];
    std::vsnprintf(arguments, sizeof arguments, format, args);
    return clamp_length(std::snprintf(out, out_size, "%s %s", word, arguments), out_size);
}

int send_command(const LWLayoutGeneric* generic, const char* word) noexcept {
    char text[COMMAND_TEXT_SIZE];
    compose_command(text, sizeof text, word);
    return evaluate_layout(generic, text);
}

int send_command(const LWLayoutGeneric* generic, const char* word, const char* format, ...) noexcept {
    char text[COMMAND_TEXT_SIZE];
    va_list args;
    va_start(args, format);
    compose_command(text, sizeof text, word, format, args);
    va_end(args);
    return evaluate_layout(generic, text);
}

int send_modeler_command(const LWModCommand* local, const char* word) noexcept {
    char text[COMMAND_TEXT_SIZE];
    compose_command(text, sizeof text, word);
    return evaluate_modeler(local, text);
}

int send_modeler_command(const LWModCommand* local, const char* word, const char* format, ...) noexcept {
    char text[COMMAND_TEXT_SIZE];
    va_list args;
    va_start(args, format);
    compose_command(text, sizeof text, word, format, args);
    va_end(args);
    return evaluate_modeler(local, text);
}

int format_c_locale(char* out, std::size_t out_size, const char* format, ...) noexcept {
    CNumericLocale c_locale;
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(out, out_size, format, args);
    va_end(args);
    return written;
}

void fill_file_request(LWFileReqLocal& request, FileNameBuffers& buffers, int type, const char* title,
                       const char* file_type) noexcept {
    request.reqType = type;
    request.result = 0;
    request.title = title;
    request.fileType = file_type;
    request.path = buffers.path;
    request.baseName = buffers.base_name;
    request.fullName = buffers.full_name;
    request.bufLen = FILE_NAME_SIZE;
    request.pickName = nullptr;
}

std::size_t set_base_name(FileNameBuffers& buffers, const char* text) noexcept {
    if (!text) text = "";
    std::size_t length = std::strlen(text);
    if (length >= sizeof buffers.base_name) length = sizeof buffers.base_name - 1;
    std::memcpy(buffers.base_name, text, length);
    buffers.base_name[length] = '\0';
    return length;
}

int run_file_request(GlobalFunc* global, LWFileReqLocal& request) noexcept {
    auto* activate = get_service<LWFileActivateFunc>(global, LWFILEACTIVATEFUNC_GLOBAL);
    if (!activate) return 0;
    if (activate(LWFILEREQ_VERSION, &request) != AFUNC_OK) return 0;
    return request.result > 0 ? 1 : 0;
}

const char* copy_uv_map_name(const LWObjectFuncs& objects, int m, std::string& copy, const char*& out_kept) noexcept {
    out_kept = nullptr;
    const char* name = objects.vmapName(LWVMAP_TXUV, m);
    if (name == nullptr) return nullptr;
    if (copy_host_text(copy, name)) out_kept = copy.c_str();
    return name;
}
