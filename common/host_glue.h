// What every plug-in needs to talk to the host: the module's start-up and
// shut-down functions, service look-up, user messages, command texts and the
// file requester. Depends on the host interface headers only.
//
//   plugin_startup / plugin_shutdown
//       The module descriptor's entries: start-up returns the token 4 (any
//       non-null value tells the host the module is ready); shut-down does
//       nothing, since no plug-in keeps state between activations.
//
//   get_service<T>(global, name)
//       The named service record, or null when the host does not offer it.
//
//   report_error(messages, text)
//       Shows one fixed text through "Info Messages 2" `error`, no second line.
//
//   send_command(generic, word [, format, ...])
//   send_modeler_command(local, word [, format, ...])
//       Compose "word" alone, or the word and the formatted arguments joined by
//       "%s %s" (so a word that ends in a blank keeps it: "SelectItem " puts
//       two blanks before its argument), and hand the text with the local's
//       data pointer to the local's `evaluate`. Arguments are formatted into a
//       COMMAND_ARGS_SIZE buffer and the command into a COMMAND_TEXT_SIZE one;
//       longer texts are cut, never overflowed. Numbers are formatted in the C
//       locale whatever the process locale is. The host's result is returned
//       (callers ignore it); 0 when the local is missing.
//
//   FileNameBuffers, fill_file_request, run_file_request
//       The file requester record with its three 1024-byte name buffers. The
//       buffers belong to the caller, which keeps them for the life of the
//       loaded plug-in so that the last folder is offered again.
#pragma once

#include <locale.h>

#include <cstdarg>
#include <cstddef>
#include <string>

#include <lwcmdseq.h>
#include <lwgeneric.h>
#include <lwhost.h>
#include <lwmeshes.h>
#include <lwserver.h>

void* plugin_startup(void) noexcept;
void plugin_shutdown(void* server_data) noexcept;

template <class Service>
Service* get_service(GlobalFunc* global, const char* name) noexcept {
    // reinterpret_cast: some services are functions ("File Request 2").
    return global ? reinterpret_cast<Service*>(global(name, GFUSE_TRANSIENT)) : nullptr;
}

void report_error(const LWMessageFuncs* messages, const char* text) noexcept;

constexpr std::size_t COMMAND_ARGS_SIZE = 1024;
constexpr std::size_t COMMAND_TEXT_SIZE = 1024;

int send_command(const LWLayoutGeneric* generic, const char* word) noexcept;
int send_command(const LWLayoutGeneric* generic, const char* word, const char* format, ...) noexcept
    __attribute__((format(printf, 3, 4)));
int send_modeler_command(const LWModCommand* local, const char* word) noexcept;
int send_modeler_command(const LWModCommand* local, const char* word, const char* format, ...) noexcept
    __attribute__((format(printf, 3, 4)));

// Composes a command text into `out` (always terminated when out_size > 0):
// the word alone, or "%s %s" of the word and the formatted arguments.
// Returns the length written.
std::size_t compose_command(char* out, std::size_t out_size, const char* word) noexcept;
std::size_t compose_command(char* out, std::size_t out_size, const char* word, const char* format,
                            va_list args) noexcept;

// The C locale's numbers for this thread while the object lives, so that
// "%f" prints and scans a point whatever the process locale: formatting of
// command texts and the readers' scanf conversions. uselocale changes only
// the calling thread's locale, and the previous one comes back at the end.
class CNumericLocale {
public:
    CNumericLocale() noexcept;
    ~CNumericLocale();
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t previous_ = locale_t(0);
};

// snprintf in the C locale, whatever the process locale: for the few texts
// (list values, labels) that plug-ins format with printf conversions.
int format_c_locale(char* out, std::size_t out_size, const char* format, ...) noexcept
    __attribute__((format(printf, 3, 4)));

// Copies a host text (null: empty) into `out`; false, with `out` left
// empty, when memory runs out.
inline bool copy_host_text(std::string& out, const char* text) noexcept {
    try {
        out.assign(text != nullptr ? text : "");
        return true;
    } catch (...) {
        out.clear();
        return false;
    }
}

// The name UV map m ("Scene Objects 4" vmapName of "TXUV", host order) is
// bound by; null when the map has none. The name is copied into `copy`, and
// out_kept is the copy's text, or null when memory ran out (the map is then
// still bound by the host's text, but nothing can keep its name).
const char* copy_uv_map_name(const LWObjectFuncs& objects, int m, std::string& copy, const char*& out_kept) noexcept;

constexpr int FILE_NAME_SIZE = 1024;

struct FileNameBuffers {
    char path[FILE_NAME_SIZE];
    char base_name[FILE_NAME_SIZE];
    char full_name[FILE_NAME_SIZE];
};

// Points `request` at the buffers and sets type (FREQ_LOAD or FREQ_SAVE),
// title and file type; no name-picking callback. The buffers keep what they
// hold (the previous choice).
void fill_file_request(LWFileReqLocal& request, FileNameBuffers& buffers, int type, const char* title,
                       const char* file_type) noexcept;

// Copies `text` (null: empty) into the base-name buffer, cut to fit.
// Returns the length stored.
std::size_t set_base_name(FileNameBuffers& buffers, const char* text) noexcept;

// Runs the request through "File Request 2" with version 3. Returns 1 when
// the user picked a file (its name is in full_name); 0 when the service is
// missing, the request failed, or the user cancelled.
int run_file_request(GlobalFunc* global, LWFileReqLocal& request) noexcept;
